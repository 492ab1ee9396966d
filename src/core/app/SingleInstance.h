#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QTimer;

// One running copy per user. The first copy listens on a local socket named after the
// application title and the user; a later copy that reaches it asks it to come forward
// and ends without touching any file. Every wait of the claim is a timer: the thread's
// event loop keeps running throughout, so a copy that hangs never freezes another.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    enum class Role { Primary, Secondary, Failed };

    explicit SingleInstance(const QString &serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket path for this user: in the session's runtime folder, or without one in
    // privateFolder(). Empty when neither is safe to use; claim() then gives Failed.
    static QString defaultServerName(const QString &applicationTitle);
    // <temp>/norvale-<uid>, created with mode 0700 when missing. Empty when it is not a
    // folder of this user that only this user can enter: another user could have made
    // it first to listen in our place and make every start of ours exit.
    static QString privateFolder();

    // Starts the claim; decided() reports its outcome, at the earliest from within this
    // call. Secondary: a running copy was told to come forward (this copy should exit).
    // Primary: this copy now listens. Failed: no copy answers and listening failed too,
    // or there is no safe socket name; the caller runs on alone.
    void start();
    // start(), then the event loop until decided.
    Role claim();
    // Hands a one-line command (such as "sleep 30") to the running copy and waits for its
    // receipt; false when no copy answered.
    static bool sendCommand(const QString &serverName, const QString &command);

Q_SIGNALS:
    void decided(SingleInstance::Role role);
    // Another start asked this copy to bring its window forward.
    void activationRequested();
    // Another start handed this copy a command line (sendCommand).
    void commandReceived(const QString &command);

private:
    void takeLock();
    void askRunningCopy();
    void listenHere();
    void finish(Role role);

    QString m_serverName;
    QLocalServer *m_server = nullptr;
    QLocalSocket *m_socket = nullptr;
    QTimer *m_wait = nullptr;
    std::unique_ptr<QLockFile> m_lock;
    qint64 m_lockWaited = 0;
    bool m_reached = false; // a running copy accepted the connection
    std::optional<Role> m_role;
};
