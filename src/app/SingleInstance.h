#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per user. The first copy listens on a local socket named after the
// application title and the user; a later copy that reaches it asks it to come forward
// and ends without touching any file.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    enum class Role { Primary, Secondary, Failed };

    explicit SingleInstance(const QString &serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket name for this user: the title plus the user name, made socket-safe.
    static QString defaultServerName(const QString &applicationTitle);

    // Secondary: a running copy was told to come forward (this copy should exit).
    // Primary: this copy now listens. Failed: no copy answers and listening failed too;
    // the caller runs on alone.
    Role claim();

Q_SIGNALS:
    // Another start asked this copy to bring its window forward.
    void activationRequested();

private:
    bool notifyRunningCopy();

    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
