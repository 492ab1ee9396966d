#pragma once

// List bodies copied once into a sealed in-memory file, so that a server can pass them to
// a socket with sendfile(2): the kernel sends the file's pages instead of copying every
// answer out of the process again. The file lives as long as any list or answer holds it.

#include <QByteArray>
#include <memory>
#include <vector>

class BodyFile final
{
public:
    explicit BodyFile(int fd);
    ~BodyFile();
    BodyFile(const BodyFile &) = delete;
    BodyFile &operator=(const BodyFile &) = delete;

    int fd() const { return m_fd; }

    // Writes the bodies one after another, each from a page boundary, into a new file;
    // offsets receives where each starts. Null when the system offers no such file (the bodies are then sent from
    // memory as before).
    static std::shared_ptr<const BodyFile> write(const std::vector<const QByteArray *> &bodies,
                                                 std::vector<qint64> *offsets);

private:
    int m_fd;
};
