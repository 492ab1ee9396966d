#include "app/TerminationSignals.h"

#include <atomic>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The one thing a signal handler may reach; -1 while no instance listens.
std::atomic_int g_writeFd {-1};

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return;
    int expected = -1;
    if (!g_writeFd.compare_exchange_strong(expected, m_fds[1])) {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
        m_fds[0] = m_fds[1] = -1;
        return;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
    m_installed = true;
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

TerminationSignals::~TerminationSignals()
{
    restoreDefaults();
    m_notifier.reset();
    for (int &fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TerminationSignals::restoreDefaults()
{
    if (!m_installed)
        return;
    m_installed = false;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    int mine = m_fds[1];
    g_writeFd.compare_exchange_strong(mine, -1);
}

void TerminationSignals::readPending()
{
    unsigned char numbers[16];
    const ssize_t count = ::read(m_fds[0], numbers, sizeof numbers);
    if (count <= 0)
        return;
    // The first one decides; the program is on its way out.
    restoreDefaults();
    Q_EMIT received(numbers[0]);
}
