#pragma once

// Helpers of the directory server's tests: stations, pictures, the shared PostgreSQL test
// database, and a raw HTTP/1.x client that sends exactly the bytes given and reads each
// response by its Content-Length, so that pipelining and keep-alive can be observed.

#include "catalogue/DatabaseAddress.h"
#include "catalogue/DirectoryStore.h"

#include <QBuffer>
#include <QHostAddress>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <tuple>

inline CatalogueStation makeStation(const QString &country, const QString &name, const QString &url, int votes = 0,
                                    const QString &tags = {}, const QString &homepage = {})
{
    CatalogueStation s;
    std::tie(s.countryCode, s.name, s.url, s.votes, s.tags, s.homepage) =
        std::tie(country, name, url, votes, tags, homepage);
    return s;
}

// The one test database of scripts/pg-test-db (or NORVALE_TEST_PG); empty, with the reason
// in *why, when there is none. Every test using it holds the ctest lock "norvale_postgresql".
inline QString testPostgresql(QString *why)
{
    if (!qEnvironmentVariableIsEmpty("NORVALE_TEST_PG"))
        return qEnvironmentVariable("NORVALE_TEST_PG");
    QProcess script;
    script.start(QStringLiteral(NORVALE_SOURCE_DIR "/scripts/pg-test-db"), {});
    if (script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0)
        return QString::fromUtf8(script.readAllStandardOutput()).trimmed().split(QLatin1Char('\n')).last();
    *why = QStringLiteral("PostgreSQL not available (scripts/pg-test-db: %1)")
               .arg(QString::fromLocal8Bit(script.readAllStandardError()).trimmed());
    return {};
}

// Statements run on the database past the store, through the driver (a thread checker
// cannot follow a test that starts psql); false at the first one refused.
inline bool execSql(const QString &address, const QStringList &statements)
{
    const DatabaseAddress a = parseDatabaseAddress(address);
    const QString connection = QStringLiteral("norvale-test-sql");
    bool ok = true;
    {
        QSqlDatabase db = addDatabaseConnection(a, connection);
        QString error;
        if (!(ok = openDatabaseConnection(db, a, &error)))
            qWarning("%s", qPrintable(error));
        QSqlQuery q(db);
        for (qsizetype i = 0; ok && i < statements.size(); ++i)
            if (!(ok = q.exec(statements.at(i))))
                qWarning("%s: %s", qPrintable(statements.at(i)), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

// Each user of the shared database starts from an empty schema.
inline bool emptyPostgresql(const QString &url)
{
    return execSql(url, {"SET client_min_messages = warning", "DROP SCHEMA public CASCADE", "CREATE SCHEMA public"});
}

// Sets `database` to the shared test database, emptied; skips the case without one.
#define NORVALE_FRESH_POSTGRESQL(database)                                                                             \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if ((database = testPostgresql(&why_)).isEmpty())                                                              \
            QSKIP(qPrintable(why_));                                                                                   \
        QVERIFY2(emptyPostgresql(database), "could not empty the test database");                                      \
    } while (false)

// A picture in the given format, with a text chunk that a redrawn copy must not keep.
inline QByteArray picture(int width, int height, const char *format = "PNG")
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::red);
    image.setText(QStringLiteral("Comment"), QStringLiteral("from-the-source"));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A loopback address of its own: de-duplication and report limits of one case never touch another.
inline QHostAddress randomClient()
{
    auto *random = QRandomGenerator::global();
    return QHostAddress(0x7f000000u | random->bounded(0x10000u, 0xff0000u) | random->bounded(1u, 255u));
}

struct HttpTestReply
{
    int status = 0; // 0: no complete response
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;

    QByteArray header(const QByteArray &name) const { return headers.value(name); }
};

class HttpTestConnection final
{
public:
    explicit HttpTestConnection(quint16 port, const QHostAddress &from = {})
    {
        if (!from.isNull())
            m_socket.bind(from);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }

    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        while (m_socket.bytesToWrite() > 0 && m_socket.waitForBytesWritten(5000)) { }
    }

    // A HEAD or 304 response has no body whatever its headers say.
    HttpTestReply read(bool noBody = false)
    {
        HttpTestReply reply;
        qsizetype headerEnd = -1;
        while ((headerEnd = m_buffer.indexOf("\r\n\r\n")) < 0)
            if (!fill())
                return reply;
        const QList<QByteArray> lines = m_buffer.left(headerEnd).split('\n');
        m_buffer.remove(0, headerEnd + 4);
        reply.status = lines.value(0).trimmed().split(' ').value(1).toInt();
        for (const QByteArray &line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                reply.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const qsizetype length = (noBody || reply.status == 304) ? 0 : reply.header("content-length").toLongLong();
        while (m_buffer.size() < length)
            if (!fill())
                return {};
        reply.body = m_buffer.left(length);
        m_buffer.remove(0, length);
        return reply;
    }

    HttpTestReply get(const QByteArray &target, const QByteArray &extraHeaders = {})
    {
        send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n");
        return read();
    }

    bool closedByServer()
    {
        while (fill()) { }
        return m_closed;
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
    return HttpTestConnection(port, from).get(target, extraHeaders);
}
