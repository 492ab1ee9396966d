#include "catalogue/DatabaseAddress.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

DatabaseAddress parseDatabaseAddress(const QString &database)
{
    DatabaseAddress a;
    const QString text = database.trimmed();
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(text);
        if (!url.isValid() || url.host().isEmpty())
            return a;
        a.kind = DatabaseAddress::Kind::Postgres;
        a.host = url.host();
        a.port = url.port(5432);
        a.user = url.userName();
        a.password = url.password();
        a.database = url.path().mid(1);
        QStringList options;
        for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
            options.append(item.first + QLatin1Char('=') + item.second);
        a.options = options.join(QLatin1Char(';'));
        if (a.database.isEmpty())
            a.kind = DatabaseAddress::Kind::Invalid;
        return a;
    }
    QString path = text;
    if (path.startsWith(QLatin1String("sqlite:")))
        path = path.mid(7);
    if (path.isEmpty())
        return a;
    a.kind = DatabaseAddress::Kind::Sqlite;
    a.path = path;
    return a;
}

QSqlDatabase addDatabaseConnection(const DatabaseAddress &address, const QString &connectionName)
{
    QSqlDatabase db;
    if (address.kind == DatabaseAddress::Kind::Sqlite) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(address.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        return db;
    }
    db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(address.host);
    db.setPort(address.port);
    db.setUserName(address.user);
    db.setPassword(address.password);
    db.setDatabaseName(address.database);
    // The driver joins these with blanks into libpq's connection string. Keepalives find
    // a dead peer while the connection idles; the TCP user time-out while data is unacknowledged.
    QStringList options {
        QStringLiteral("connect_timeout=10"), QStringLiteral("keepalives=1"),
        QStringLiteral("keepalives_idle=30"), QStringLiteral("keepalives_interval=5"),
        QStringLiteral("keepalives_count=3"), QStringLiteral("tcp_user_timeout=%1").arg(kTcpUserTimeoutMs),
    };
    if (!address.options.isEmpty())
        options.append(address.options);
    db.setConnectOptions(options.join(QLatin1Char(';')));
    return db;
}

bool openDatabaseConnection(QSqlDatabase &db, const DatabaseAddress &address, QString *error)
{
    if (!db.isValid()) {
        *error = QStringLiteral("the Qt SQL driver for this database is missing");
        return false;
    }
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    if (address.kind == DatabaseAddress::Kind::Postgres) {
        // Set per session rather than in the connection string: a pooler in between may
        // refuse startup options.
        if (!q.exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs))) {
            *error = q.lastError().text();
            db.close();
            return false;
        }
        return true;
    }
    // WAL lets readers of other processes (backups, sqlite3) work while we write.
    if (address.path != QLatin1String(":memory:"))
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    return true;
}
