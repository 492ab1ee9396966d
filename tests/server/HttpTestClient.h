#pragma once

// A raw HTTP/1.x client for the server tests: the bytes sent are exactly the bytes
// written (bare LF line ends, HTTP/1.0, pipelining, over-long lines), and responses are
// read by their Content-Length so that keep-alive can be observed.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>

struct HttpTestReply
{
    int status = 0; // 0: no complete response
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;

    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
};

class HttpTestConnection final
{
public:
    // from: a loopback source address to stand for another client (127.x.y.z).
    explicit HttpTestConnection(quint16 port, const QHostAddress &from = {})
    {
        if (!from.isNull())
            m_socket.bind(from);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        while (m_socket.bytesToWrite() > 0 && m_socket.waitForBytesWritten(5000)) { }
    }

    // Reads one response; a HEAD or 304 response has no body whatever its headers say.
    HttpTestReply read(bool noBody = false)
    {
        HttpTestReply reply;
        qsizetype headerEnd = -1;
        while ((headerEnd = m_buffer.indexOf("\r\n\r\n")) < 0) {
            if (!fill())
                return reply;
        }
        const QList<QByteArray> lines = m_buffer.left(headerEnd).split('\n');
        m_buffer.remove(0, headerEnd + 4);
        const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
        reply.status = statusLine.value(1).toInt();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                reply.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = (noBody || reply.status == 304) ? 0 : reply.header("content-length").toLongLong();
        while (m_buffer.size() < length) {
            if (!fill()) {
                reply.status = 0;
                return reply;
            }
        }
        reply.body = m_buffer.left(length);
        m_buffer.remove(0, length);
        return reply;
    }

    HttpTestReply get(const QByteArray &target, const QByteArray &extraHeaders = {})
    {
        send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n");
        return read();
    }

    // True when the server closed the connection (no more bytes arrive).
    bool closedByServer()
    {
        while (fill()) { }
        return m_socket.state() != QAbstractSocket::ConnectedState || m_closed;
    }

private:
    bool fill()
    {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(5000)) {
            m_closed = m_socket.state() != QAbstractSocket::ConnectedState
                || m_socket.error() == QAbstractSocket::RemoteHostClosedError;
            return false;
        }
        m_buffer += m_socket.readAll();
        return true;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    bool m_closed = false;
};

inline HttpTestReply httpGet(quint16 port, const QByteArray &target, const QHostAddress &from = {},
                             const QByteArray &extraHeaders = {})
{
    HttpTestConnection connection(port, from);
    return connection.get(target, extraHeaders);
}
