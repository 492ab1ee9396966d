#include "app/SingleInstance.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QTimer>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kConnectWaitMs = 500;
// Longer than one claim can take (two connect waits), short enough not to delay a start
// long behind a copy that hangs.
constexpr int kLockWaitMs = 3000;
constexpr int kLockRetryMs = 20;
constexpr QByteArrayView kRaise = "raise\n";
constexpr QByteArrayView kCommand = "command ";
constexpr QByteArrayView kReceipt = "ok\n";
// A caller sends nothing else; more than this is not a copy of ours.
constexpr qsizetype kMaxRequestBytes = 64;
} // namespace

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName)
    , m_wait(new QTimer(this))
{
    m_wait->setSingleShot(true);
}

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

void SingleInstance::start()
{
    if (m_role || m_lock)
        return; // decided, or under way
    if (m_serverName.isEmpty())
        return finish(Role::Failed);
    // Copies started together would all find nobody answering and all listen, each
    // listen() taking the name over from the one before. The lock makes "ask, then
    // listen" one step for every copy of this user; a crashed holder's lock is stale at
    // once, and a stuck one is passed by after a while.
    m_lock = std::make_unique<QLockFile>(QDir(QDir::tempPath()).filePath(m_serverName + QStringLiteral(".lock")));
    takeLock();
}

void SingleInstance::takeLock()
{
    if (m_lock->tryLock(0) || m_lockWaited >= kLockWaitMs)
        return askRunningCopy();
    m_lockWaited += kLockRetryMs;
    m_wait->disconnect();
    connect(m_wait, &QTimer::timeout, this, &SingleInstance::takeLock);
    m_wait->start(kLockRetryMs);
}

void SingleInstance::askRunningCopy()
{
    m_socket = new QLocalSocket(this);
    const auto answered = [this] {
        m_wait->stop();
        m_socket->disconnectFromServer();
        finish(Role::Secondary);
    };
    connect(m_socket, &QLocalSocket::connected, this, [this, answered] {
        m_reached = true;
        m_socket->write(kRaise.data(), kRaise.size());
        m_wait->disconnect();
        connect(m_wait, &QTimer::timeout, this, answered); // it is there; the request may still be on its way
        m_wait->start(kConnectWaitMs);
    });
    connect(m_socket, &QLocalSocket::bytesWritten, this, [this, answered] {
        if (m_socket->bytesToWrite() == 0 && !m_role)
            answered();
    });
    connect(m_socket, &QLocalSocket::errorOccurred, this, [this, answered] {
        if (m_role)
            return;
        if (m_reached)
            answered(); // a copy was there, even if it hung up early
        else
            listenHere();
    });
    m_wait->disconnect();
    connect(m_wait, &QTimer::timeout, this, [this] {
        m_socket->abort(); // nobody accepts in time: whatever holds the name is not a copy of ours
        if (!m_role)
            listenHere();
    });
    m_wait->start(kConnectWaitMs);
    m_socket->connectToServer(m_serverName);
}

void SingleInstance::listenHere()
{
    m_wait->stop();
    // The asking socket is done with; the connections this copy accepts are its only
    // sockets from now on.
    m_socket->disconnect(this);
    m_socket->setParent(nullptr);
    m_socket->deleteLater();
    m_socket = nullptr;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // A socket file left by a crashed copy: nobody answered, so it is stale.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            return finish(Role::Failed);
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
    finish(Role::Primary);
}

void SingleInstance::finish(Role role)
{
    if (m_role)
        return;
    m_role = role;
    m_wait->stop();
    m_lock.reset();
    Q_EMIT decided(role);
}

SingleInstance::Role SingleInstance::claim()
{
    if (!m_role) {
        QEventLoop loop;
        connect(this, &SingleInstance::decided, &loop, &QEventLoop::quit);
        start();
        if (!m_role)
            loop.exec();
    }
    return *m_role;
}
