#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kConnectWaitMs = 500;
// Longer than one claim can take (two connect waits), short enough not to stall a start
// behind a copy that hangs.
constexpr int kLockWaitMs = 3000;
constexpr QByteArrayView kRaise = "raise\n";
constexpr QByteArrayView kCommand = "command ";
constexpr QByteArrayView kReceipt = "ok\n";
// A caller sends nothing else; more than this is not a copy of ours.
constexpr qsizetype kMaxRequestBytes = 64;
} // namespace

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName)
{ }

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName(const QString &applicationTitle)
{
    QString title = applicationTitle;
    title.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    // The session's runtime folder is private to the user and to this login, so a test
    // session or a second desktop login gets a program of its own.
    const QFileInfo runtime(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (!runtime.filePath().isEmpty() && runtime.isDir() && runtime.isWritable())
        return QDir(runtime.absoluteFilePath()).filePath(title + QStringLiteral(".instance"));
    const QString folder = privateFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(title + QStringLiteral(".instance"));
}

QString SingleInstance::privateFolder()
{
    const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("norvale-%1").arg(::getuid()));
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    // lstat: a link planted under the name must not lead us into someone else's folder.
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()
        || (info.st_mode & 077) != 0)
        return {};
    return path;
}

bool SingleInstance::notifyRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    socket.write(kRaise.data(), kRaise.size());
    socket.waitForBytesWritten(kConnectWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::sendCommand(const QString &serverName, const QString &command)
{
    const QByteArray request = kCommand.toByteArray() + command.simplified().toUtf8() + '\n';
    if (serverName.isEmpty() || request.size() > kMaxRequestBytes)
        return false;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    socket.write(request);
    QByteArray answer;
    while (answer.size() < kReceipt.size() && socket.waitForReadyRead(kLockWaitMs))
        answer += socket.read(kReceipt.size() - answer.size());
    return answer == kReceipt;
}

SingleInstance::Role SingleInstance::claim()
{
    if (m_serverName.isEmpty())
        return Role::Failed;
    // Copies started together would all find nobody answering and all listen, each
    // listen() taking the name over from the one before. The lock makes "ask, then
    // listen" one step for every copy of this user; a crashed holder's lock is stale at
    // once, and a stuck one is passed by after the wait.
    QLockFile lock(QDir(QDir::tempPath()).filePath(m_serverName + QStringLiteral(".lock")));
    lock.tryLock(kLockWaitMs);

    if (notifyRunningCopy())
        return Role::Secondary;

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // A socket file left by a crashed copy: nobody answered above, so it is stale.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            return Role::Failed;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // The request may arrive in pieces; it counts once complete.
            auto received = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
                *received += socket->read(kMaxRequestBytes - received->size());
                if (received->contains(kRaise)) {
                    received->clear();
                    Q_EMIT activationRequested();
                } else if (received->startsWith(kCommand) && received->endsWith('\n')) {
                    const QString command = QString::fromUtf8(received->sliced(kCommand.size())).trimmed();
                    received->clear();
                    socket->write(kReceipt.data(), kReceipt.size());
                    Q_EMIT commandReceived(command);
                } else if (received->size() >= kMaxRequestBytes) {
                    socket->abort();
                }
            });
        }
    });
    return Role::Primary;
}
