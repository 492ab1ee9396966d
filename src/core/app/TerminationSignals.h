#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

// SIGTERM, SIGINT and SIGHUP (a desktop ending the session, kill, Ctrl+C, a closed
// terminal) reach the program as a signal in its event loop, where it may do real work
// such as writing INST.INI. The handler itself only writes the signal's number into a
// socket pair; everything else happens when the notifier reads it.
//
// A signal handler can reach no object, so the write end lives in one process-wide slot:
// only one instance may exist at a time. After the first signal has been delivered the
// actions from before (normally the defaults) come back, so a second Ctrl+C ends a
// program whose exit hangs.
class TerminationSignals final : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the socket pair or a handler could not be set up (or another instance
    // holds the slot); the signals then keep their default action.
    bool isActive() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void received(int signal);

private:
    void readPending();
    void restoreDefaults();

    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous[3] {};
    bool m_installed = false;
};
