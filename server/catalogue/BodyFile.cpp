#include "catalogue/BodyFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

BodyFile::BodyFile(int fd)
    : m_fd(fd)
{ }

BodyFile::~BodyFile()
{
    ::close(m_fd);
}

std::shared_ptr<const BodyFile> BodyFile::write(const std::vector<const QByteArray *> &bodies,
                                                std::vector<qint64> *offsets)
{
    const int fd = ::memfd_create("norvale-lists", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return nullptr;
    auto file = std::make_shared<BodyFile>(fd);
    offsets->clear();
    // Each body starts on a page boundary. One that starts mid-page spans a page more than
    // its length needs, and its full-size TCP segments no longer fit the socket's page
    // fragments: the kernel then sends each push in two parts, the second after a pacing
    // timer (BBR paces every connection), which doubled the CPU time of a plain list.
    const qint64 page = std::max(4096L, ::sysconf(_SC_PAGESIZE));
    qint64 at = 0;
    for (const QByteArray *body : bodies) {
        if (at % page != 0) {
            at += page - at % page;
            if (::lseek(fd, off_t(at), SEEK_SET) != off_t(at)) // a hole: it takes no memory
                return nullptr;
        }
        offsets->push_back(at);
        const char *data = body->constData();
        qint64 left = body->size();
        while (left > 0) {
            const ssize_t n = ::write(fd, data, std::size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return nullptr;
            data += n;
            left -= n;
            at += n;
        }
    }
    // Sealed: what a list's ETag names can no longer change under it.
    if (::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0)
        return nullptr;
    return file;
}
