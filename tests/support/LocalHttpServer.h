#pragma once

// A loopback HTTP/1.0 server for tests: answers each request from a handler, or not at
// all (to let a client time out), and remembers the raw request targets it saw and how
// many connections the clients closed.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

struct LocalHttpReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/plain; charset=utf-8";
    bool silent = false; // accept and never answer
};

class LocalHttpServer final : public QTcpServer
{
public:
    using Handler = std::function<LocalHttpReply(const QByteArray &target)>;

    explicit LocalHttpServer(Handler handler)
        : m_handler(std::move(handler))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
    }

    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()); }
    const QList<QByteArray> &targets() const { return m_targets; }
    int closedByClient() const { return m_closedByClient; }

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_closedByClient += socket->property("answered").isNull();
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray &buffer = m_buffers[socket];
            buffer += socket->readAll();
            if (!buffer.contains("\r\n\r\n"))
                return;
            const QByteArray target = buffer.split(' ').value(1);
            m_buffers.remove(socket);
            m_targets.append(target);
            const LocalHttpReply reply = m_handler(target);
            if (reply.silent)
                return;
            socket->setProperty("answered", true);
            socket->write("HTTP/1.0 " + QByteArray::number(reply.status) + " X\r\nContent-Type: " + reply.contentType
                          + "\r\nContent-Length: " + QByteArray::number(reply.body.size())
                          + "\r\nConnection: close\r\n\r\n" + reply.body);
            socket->disconnectFromHost();
        });
    }

    Handler m_handler;
    QList<QByteArray> m_targets;
    int m_closedByClient = 0;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
