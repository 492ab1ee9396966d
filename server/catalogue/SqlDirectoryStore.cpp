#include "SqlDirectoryStore.h"

#include "CountryNames.h"
#include "Importer.h"
#include "Snapshot.h"
#include "StationDigest.h"

#include <QCryptographicHash>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <atomic>
#include <functional>

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

namespace {

constexpr int kMaxQueued = 100000; // reports beyond this between two flushes are dropped
constexpr int kRecentReports = 200;
constexpr qint64 kPlayWindowMs = 3600 * 1000;
constexpr int kInsertChunk = 100;
constexpr int kWatchIntervalMs = 10000; // how often another process's catalogue change is looked for

QString reasonText(ReportReason r)
{
    switch (r) {
    case ReportReason::NoSound:
        return QStringLiteral("no-sound");
    case ReportReason::WrongStation:
        return QStringLiteral("wrong-station");
    case ReportReason::StreamMoved:
        return QStringLiteral("stream-moved");
    case ReportReason::Other:
        break;
    }
    return QStringLiteral("other");
}

ReportReason reasonFromText(const QString &t)
{
    if (t == QLatin1String("no-sound"))
        return ReportReason::NoSound;
    if (t == QLatin1String("wrong-station"))
        return ReportReason::WrongStation;
    if (t == QLatin1String("stream-moved"))
        return ReportReason::StreamMoved;
    return ReportReason::Other;
}

// Client addresses are kept only as a keyed digest: enough to count once per client,
// nothing to trace a listener by.
QString clientKey(const QString &clientId)
{
    return QString::fromLatin1(
        QCryptographicHash::hash("norvale-client:" + clientId.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
}

// A null QString binds as SQL NULL; every text column is NOT NULL.
QString text(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}

QString limited(const QString &text, int max)
{
    return Importer::cleanText(text).left(max);
}

struct PendingPlay
{
    QString md5;
    QString client;
    qint64 at;
};
struct PendingFailure
{
    QString md5;
    QString url;
    QString client;
    qint64 at;
};
struct PendingFirstRun
{
    QString client;
    qint64 at;
};
struct PendingReport
{
    BrokenReport report;
    QString client;
};

struct Pending
{
    QList<PendingPlay> plays;
    QList<PendingFailure> failures;
    QList<PendingFirstRun> firstRuns;
    QList<PendingReport> reports;
    int size() const { return int(plays.size() + failures.size() + firstRuns.size() + reports.size()); }
};

// Migrations, oldest first; migration n brings a database from version n-1 to n.
// "%ID%" is the auto-numbered key column in the driver's dialect.
const QList<QStringList> &migrations()
{
    static const QList<QStringList> m = {
        {
            QStringLiteral("CREATE TABLE countries (code TEXT PRIMARY KEY, bestand TEXT NOT NULL, "
                           "name_nl TEXT NOT NULL, name_en TEXT NOT NULL)"),
            QStringLiteral("CREATE TABLE stations (id %ID%, uuid TEXT NOT NULL, country_code TEXT NOT NULL, "
                           "name TEXT NOT NULL, url TEXT NOT NULL, homepage TEXT NOT NULL, tags TEXT NOT NULL, "
                           "codec TEXT NOT NULL, bitrate INTEGER NOT NULL, votes INTEGER NOT NULL, "
                           "url_md5 TEXT NOT NULL)"),
            QStringLiteral("CREATE INDEX stations_country ON stations (country_code)"),
            QStringLiteral("CREATE INDEX stations_md5 ON stations (url_md5)"),
            QStringLiteral("CREATE TABLE broken_reports (id %ID%, url TEXT NOT NULL, station_name TEXT NOT NULL, "
                           "country_name TEXT NOT NULL, reason TEXT NOT NULL, client TEXT NOT NULL, "
                           "reported_at BIGINT NOT NULL)"),
        },
        {
            QStringLiteral("CREATE TABLE play_counts (url_md5 TEXT PRIMARY KEY, plays BIGINT NOT NULL)"),
            QStringLiteral(
                "CREATE TABLE plays (url_md5 TEXT NOT NULL, client TEXT NOT NULL, played_at BIGINT NOT NULL)"),
            QStringLiteral("CREATE INDEX plays_recent ON plays (url_md5, client, played_at)"),
            QStringLiteral("CREATE INDEX plays_age ON plays (played_at)"),
            QStringLiteral("CREATE TABLE recorder_failures (id %ID%, url_md5 TEXT NOT NULL, url TEXT NOT NULL, "
                           "client TEXT NOT NULL, failed_at BIGINT NOT NULL)"),
            QStringLiteral("CREATE TABLE first_runs (id %ID%, client TEXT NOT NULL, first_at BIGINT NOT NULL)"),
            QStringLiteral("ALTER TABLE broken_reports ADD COLUMN handled INTEGER NOT NULL DEFAULT 0"),
        },
        {
            // Bumped by every catalogue change, so that other processes on the same
            // database (an import next to a running server, several servers) notice it.
            QStringLiteral("CREATE TABLE catalogue_state (generation BIGINT NOT NULL)"),
            QStringLiteral("INSERT INTO catalogue_state (generation) VALUES (0)"),
        },
    };
    return m;
}

class StoreWorker final : public QObject
{
public:
    StoreWorker(QString database, StoreOptions options, QString connectionName)
        : m_database(std::move(database))
        , m_options(options)
        , m_connection(std::move(connectionName))
    { }

    // --- called on the store thread only ---

    StoreResult open()
    {
        const DatabaseAddress address = parseDatabaseAddress(m_database);
        if (address.kind == DatabaseAddress::Kind::Invalid)
            // Not echoed: the text may hold a password.
            return {StoreError::CannotOpen, QStringLiteral("not a database address")};
        QSqlDatabase db;
        if (address.kind == DatabaseAddress::Kind::Sqlite) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
            db.setDatabaseName(address.path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
            db.setHostName(address.host);
            db.setPort(address.port);
            db.setUserName(address.user);
            db.setPassword(address.password);
            db.setDatabaseName(address.database);
            QString options = QStringLiteral("connect_timeout=10");
            if (!address.options.isEmpty())
                options += QLatin1Char(';') + address.options;
            db.setConnectOptions(options);
        }
        m_postgres = address.kind == DatabaseAddress::Kind::Postgres;
        if (!db.isValid())
            return {StoreError::CannotOpen, QStringLiteral("the Qt SQL driver for this database is missing")};
        if (!db.open())
            return {StoreError::CannotOpen, db.lastError().text()};
        if (!m_postgres) {
            QSqlQuery q(db);
            // WAL lets readers of other processes (backups, sqlite3) work while we write.
            if (address.path != QLatin1String(":memory:"))
                q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        }
        StoreResult r = migrate();
        if (!r.ok())
            return r;
        r = rebuildSnapshot();
        if (!r.ok())
            return r;
        loadReportCache();
        m_flushTimer = new QTimer(this);
        m_flushTimer->setInterval(std::max(10, m_options.flushIntervalMs));
        connect(m_flushTimer, &QTimer::timeout, this, [this] { writeQueued(); });
        m_flushTimer->start();
        m_refreshTimer = new QTimer(this);
        m_refreshTimer->setInterval(std::max(1, m_options.snapshotRefreshSeconds) * 1000);
        connect(m_refreshTimer, &QTimer::timeout, this, [this] {
            // Always: other server processes on the same database count plays too.
            rebuildSnapshot();
            prunePlays();
        });
        m_refreshTimer->start();
        m_watchTimer = new QTimer(this);
        m_watchTimer->setInterval(kWatchIntervalMs);
        connect(m_watchTimer, &QTimer::timeout, this, [this] {
            if (catalogueGeneration() != m_generation)
                rebuildSnapshot();
        });
        m_watchTimer->start();
        return {};
    }

    void close()
    {
        if (m_flushTimer)
            m_flushTimer->stop();
        if (m_refreshTimer)
            m_refreshTimer->stop();
        if (m_watchTimer)
            m_watchTimer->stop();
        if (QSqlDatabase::contains(m_connection)) {
            writeQueued();
            QSqlDatabase::database(m_connection, false).close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }

    StoreResult replace(const QList<CatalogueStation> &stations, const QList<CatalogueCountry> &countries,
                        const QString &onlyCountry)
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        if (!db.transaction())
            return queryError(db.lastError());
        StoreResult r = writeCatalogue(db, stations, countries, onlyCountry);
        if (!r.ok()) {
            db.rollback();
            return r;
        }
        if (!db.commit()) {
            const StoreResult e = queryError(db.lastError());
            db.rollback();
            return e;
        }
        return rebuildSnapshot();
    }

    void writeQueued()
    {
        Pending batch;
        qint64 dropped = 0;
        {
            QMutexLocker lock(&m_queueMutex);
            std::swap(batch, m_queue);
            std::swap(dropped, m_dropped);
        }
        if (dropped > 0)
            qWarning("norvale-directory: %lld reports dropped, the queue was full", dropped);
        if (batch.size() == 0)
            return;
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        db.transaction();
        int counted = 0;
        bool ok = true;
        {
            QSqlQuery recent(db), insertPlay(db), bump(db);
            recent.prepare(
                QStringLiteral("SELECT 1 FROM plays WHERE url_md5 = ? AND client = ? AND played_at > ? LIMIT 1"));
            insertPlay.prepare(QStringLiteral("INSERT INTO plays (url_md5, client, played_at) VALUES (?, ?, ?)"));
            bump.prepare(QStringLiteral("INSERT INTO play_counts (url_md5, plays) VALUES (?, 1) "
                                        "ON CONFLICT (url_md5) DO UPDATE SET plays = play_counts.plays + 1"));
            for (const PendingPlay &p : std::as_const(batch.plays)) {
                recent.addBindValue(text(p.md5));
                recent.addBindValue(text(p.client));
                recent.addBindValue(p.at - kPlayWindowMs);
                ok = ok && recent.exec();
                const bool seen = recent.next();
                recent.finish();
                if (seen)
                    continue;
                insertPlay.addBindValue(text(p.md5));
                insertPlay.addBindValue(text(p.client));
                insertPlay.addBindValue(p.at);
                bump.addBindValue(text(p.md5));
                ok = ok && insertPlay.exec() && bump.exec();
                ++counted;
            }
            QSqlQuery q(db);
            q.prepare(
                QStringLiteral("INSERT INTO recorder_failures (url_md5, url, client, failed_at) VALUES (?, ?, ?, ?)"));
            for (const PendingFailure &f : std::as_const(batch.failures)) {
                q.addBindValue(f.md5);
                q.addBindValue(text(f.url));
                q.addBindValue(text(f.client));
                q.addBindValue(f.at);
                ok = ok && q.exec();
            }
            q.prepare(QStringLiteral("INSERT INTO first_runs (client, first_at) VALUES (?, ?)"));
            for (const PendingFirstRun &f : std::as_const(batch.firstRuns)) {
                q.addBindValue(text(f.client));
                q.addBindValue(f.at);
                ok = ok && q.exec();
            }
            q.prepare(QStringLiteral("INSERT INTO broken_reports (url, station_name, country_name, reason, client, "
                                     "reported_at) VALUES (?, ?, ?, ?, ?, ?)"));
            for (const PendingReport &r : std::as_const(batch.reports)) {
                q.addBindValue(text(r.report.url));
                q.addBindValue(text(r.report.stationName));
                q.addBindValue(text(r.report.countryName));
                q.addBindValue(reasonText(r.report.reason));
                q.addBindValue(text(r.client));
                q.addBindValue(r.report.at.toMSecsSinceEpoch());
                ok = ok && q.exec();
            }
        }
        if (!ok || !db.commit()) {
            qWarning("norvale-directory: reports not written, kept for the next try: %s",
                     qPrintable(db.lastError().text()));
            db.rollback();
            requeue(std::move(batch));
            return;
        }
        m_playsSinceSnapshot += counted;
        if (!batch.reports.isEmpty() || !batch.failures.isEmpty() || !batch.firstRuns.isEmpty() || counted > 0)
            loadReportCache();
    }

    void flushNow()
    {
        writeQueued();
        if (m_playsSinceSnapshot > 0 || catalogueGeneration() != m_generation)
            rebuildSnapshot();
    }

    StoreResult rebuildSnapshot()
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        QList<CatalogueStation> stations;
        QList<CatalogueCountry> countries;
        // Read before the stations: a change committed in between is seen on the next check.
        const qint64 generation = catalogueGeneration();
        {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!q.exec(QStringLiteral("SELECT s.uuid, s.country_code, s.name, s.url, s.homepage, s.tags, s.codec, "
                                       "s.bitrate, s.votes, s.url_md5, COALESCE(p.plays, 0) FROM stations s "
                                       "LEFT JOIN play_counts p ON p.url_md5 = s.url_md5")))
                return queryError(q.lastError());
            while (q.next()) {
                CatalogueStation s;
                s.uuid = q.value(0).toString();
                s.countryCode = q.value(1).toString();
                s.name = q.value(2).toString();
                s.url = q.value(3).toString();
                s.homepage = q.value(4).toString();
                s.tags = q.value(5).toString();
                s.codec = q.value(6).toString();
                s.bitrate = q.value(7).toInt();
                s.votes = q.value(8).toInt();
                s.urlMd5 = q.value(9).toString();
                s.playCount = q.value(10).toLongLong();
                stations.append(std::move(s));
            }
            if (!q.exec(QStringLiteral("SELECT code, bestand, name_nl, name_en FROM countries")))
                return queryError(q.lastError());
            while (q.next())
                countries.append(
                    {q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), 0});
        }
        m_playsSinceSnapshot = 0;
        m_generation = generation;
        std::shared_ptr<const CatalogueSnapshot> snapshot =
            buildSnapshot(std::move(stations), countries, m_options.maxListChars);
        QMutexLocker lock(&m_snapshotMutex);
        m_snapshot = std::move(snapshot);
        return {};
    }

    // A batch the database refused (busy, connection lost) goes back in front of what came
    // in meanwhile. Together the two stay within twice kMaxQueued, and enqueue() takes
    // nothing more until they are written.
    void requeue(Pending batch)
    {
        QMutexLocker lock(&m_queueMutex);
        batch.plays += m_queue.plays;
        batch.failures += m_queue.failures;
        batch.firstRuns += m_queue.firstRuns;
        batch.reports += m_queue.reports;
        m_queue = std::move(batch);
    }

    // --- callable from any thread ---

    std::shared_ptr<const CatalogueSnapshot> snapshot() const
    {
        QMutexLocker lock(&m_snapshotMutex);
        return m_snapshot;
    }

    template<typename Add>
    void enqueue(Add add)
    {
        QMutexLocker lock(&m_queueMutex);
        if (m_queue.size() >= kMaxQueued) {
            ++m_dropped;
            return;
        }
        add(m_queue);
    }

    QList<BrokenReport> recentReports(int limit) const
    {
        QMutexLocker lock(&m_cacheMutex);
        return m_recentReports.mid(0, std::max(0, limit));
    }

    DirectoryStore::Counts counts() const
    {
        QMutexLocker lock(&m_cacheMutex);
        return m_counts;
    }

private:
    static StoreResult queryError(const QSqlError &e) { return {StoreError::Query, e.text()}; }

    bool exec(QSqlQuery &q, const QString &sql)
    {
        QString text = sql;
        text.replace(QLatin1String("%ID%"),
                     m_postgres ? QLatin1String("BIGSERIAL PRIMARY KEY")
                                : QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"));
        return q.exec(text);
    }

    StoreResult migrate()
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        int version = 0;
        if (db.tables().contains(QLatin1String("schema_version"))) {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")))
                return queryError(q.lastError());
            if (q.next())
                version = q.value(0).toInt();
        }
        const int latest = int(migrations().size());
        if (version > latest)
            return {StoreError::SchemaTooNew,
                    QStringLiteral("the database has schema version %1; this program knows up to %2")
                        .arg(version)
                        .arg(latest)};
        for (int next = version + 1; next <= latest; ++next) {
            if (!db.transaction())
                return queryError(db.lastError());
            QSqlQuery q(db);
            bool ok = true;
            if (next == 1)
                ok = exec(q, QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"));
            for (const QString &sql : migrations().at(next - 1)) {
                if (!ok)
                    break;
                ok = exec(q, sql);
            }
            if (ok) {
                ok = q.exec(QStringLiteral("DELETE FROM schema_version"));
                q.prepare(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"));
                q.addBindValue(next);
                ok = ok && q.exec();
            }
            if (!ok) {
                const StoreResult r {
                    StoreError::Query,
                    QStringLiteral("migration to schema version %1 failed: %2").arg(next).arg(q.lastError().text())};
                db.rollback();
                return r;
            }
            if (!db.commit())
                return queryError(db.lastError());
        }
        return {};
    }

    StoreResult writeCatalogue(QSqlDatabase &db, const QList<CatalogueStation> &stations,
                               const QList<CatalogueCountry> &countries, const QString &onlyCountry)
    {
        QSqlQuery q(db);
        if (onlyCountry.isEmpty()) {
            for (const char *table :
                 {"DELETE FROM stations WHERE country_code <> ?", "DELETE FROM countries WHERE code <> ?"}) {
                q.prepare(QString::fromLatin1(table));
                q.addBindValue(QString::fromLatin1(CountryNames::kLocalDemoCode));
                if (!q.exec())
                    return queryError(q.lastError());
            }
        } else {
            q.prepare(QStringLiteral("DELETE FROM stations WHERE country_code = ?"));
            q.addBindValue(onlyCountry);
            if (!q.exec())
                return queryError(q.lastError());
            q.prepare(QStringLiteral("DELETE FROM countries WHERE code = ?"));
            q.addBindValue(onlyCountry);
            if (!q.exec())
                return queryError(q.lastError());
        }
        if (!q.exec(QStringLiteral("UPDATE catalogue_state SET generation = generation + 1")))
            return queryError(q.lastError());
        q.prepare(QStringLiteral("INSERT INTO countries (code, bestand, name_nl, name_en) VALUES (?, ?, ?, ?)"));
        for (const CatalogueCountry &c : countries) {
            q.addBindValue(text(c.code));
            q.addBindValue(text(c.bestand));
            q.addBindValue(text(c.nameDutch));
            q.addBindValue(text(c.nameEnglish));
            if (!q.exec())
                return queryError(q.lastError());
        }
        // Many rows per statement: one round trip per hundred stations matters on PostgreSQL.
        const QString columns = QStringLiteral("INSERT INTO stations (uuid, country_code, name, url, homepage, tags, "
                                               "codec, bitrate, votes, url_md5) VALUES ");
        const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        const auto statement = [&](int rows) {
            QStringList parts(rows, row);
            return columns + parts.join(QLatin1Char(','));
        };
        QSqlQuery insert(db);
        int prepared = 0;
        for (qsizetype i = 0; i < stations.size(); i += kInsertChunk) {
            const int rows = int(std::min<qsizetype>(kInsertChunk, stations.size() - i));
            if (rows != prepared) {
                if (!insert.prepare(statement(rows)))
                    return queryError(insert.lastError());
                prepared = rows;
            }
            for (int k = 0; k < rows; ++k) {
                const CatalogueStation &s = stations.at(i + k);
                insert.addBindValue(text(s.uuid));
                insert.addBindValue(text(s.countryCode));
                insert.addBindValue(text(s.name));
                insert.addBindValue(text(s.url));
                insert.addBindValue(text(s.homepage));
                insert.addBindValue(text(s.tags));
                insert.addBindValue(text(s.codec));
                insert.addBindValue(s.bitrate);
                insert.addBindValue(s.votes);
                insert.addBindValue(s.urlMd5.isEmpty() ? stationUrlMd5(s.url) : s.urlMd5);
            }
            if (!insert.exec())
                return queryError(insert.lastError());
        }
        return {};
    }

    qint64 catalogueGeneration()
    {
        QSqlQuery q(QSqlDatabase::database(m_connection));
        return q.exec(QStringLiteral("SELECT generation FROM catalogue_state")) && q.next() ? q.value(0).toLongLong()
                                                                                            : -1;
    }

    void loadReportCache()
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection);
        QList<BrokenReport> reports;
        DirectoryStore::Counts counts;
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT url, station_name, country_name, reason, reported_at FROM broken_reports "
                                 "ORDER BY reported_at DESC, id DESC LIMIT ?"));
        q.addBindValue(kRecentReports);
        if (q.exec()) {
            while (q.next()) {
                BrokenReport r;
                r.url = q.value(0).toString();
                r.stationName = q.value(1).toString();
                r.countryName = q.value(2).toString();
                r.reason = reasonFromText(q.value(3).toString());
                r.at = QDateTime::fromMSecsSinceEpoch(q.value(4).toLongLong(), Qt::UTC);
                reports.append(r);
            }
        }
        const auto scalar = [&](const char *sql) -> qint64 {
            QSqlQuery c(db);
            return c.exec(QString::fromLatin1(sql)) && c.next() ? c.value(0).toLongLong() : 0;
        };
        counts.plays = scalar("SELECT COALESCE(SUM(plays), 0) FROM play_counts");
        counts.recorderFailures = scalar("SELECT COUNT(*) FROM recorder_failures");
        counts.firstRuns = scalar("SELECT COUNT(*) FROM first_runs");
        counts.brokenReports = scalar("SELECT COUNT(*) FROM broken_reports");
        QMutexLocker lock(&m_cacheMutex);
        m_recentReports = std::move(reports);
        m_counts = counts;
    }

    // Plays are kept two days: long enough for the once-an-hour rule and a look back.
    void prunePlays()
    {
        QSqlQuery q(QSqlDatabase::database(m_connection));
        q.prepare(QStringLiteral("DELETE FROM plays WHERE played_at < ?"));
        q.addBindValue(QDateTime::currentMSecsSinceEpoch() - 48 * kPlayWindowMs);
        q.exec();
    }

    const QString m_database;
    const StoreOptions m_options;
    const QString m_connection;
    bool m_postgres = false;
    QTimer *m_flushTimer = nullptr;
    QTimer *m_refreshTimer = nullptr;
    QTimer *m_watchTimer = nullptr;
    qint64 m_generation = -1;
    int m_playsSinceSnapshot = 0;

    mutable QMutex m_snapshotMutex;
    std::shared_ptr<const CatalogueSnapshot> m_snapshot;
    QMutex m_queueMutex;
    Pending m_queue;
    qint64 m_dropped = 0; // refused by a full queue since the last write
    mutable QMutex m_cacheMutex;
    QList<BrokenReport> m_recentReports;
    DirectoryStore::Counts m_counts;
};

class SqlDirectoryStore final : public DirectoryStore
{
public:
    SqlDirectoryStore(const QString &database, const StoreOptions &options)
    {
        static std::atomic<int> serial {0};
        const QString connection = QStringLiteral("norvale-directory-%1").arg(++serial);
        m_thread.setObjectName(QStringLiteral("directory-store"));
        m_worker = new StoreWorker(database, options, connection);
        m_worker->moveToThread(&m_thread);
        m_thread.start();
    }

    ~SqlDirectoryStore() override
    {
        runOnStoreThread([this] { m_worker->close(); });
        m_thread.quit();
        m_thread.wait();
        delete m_worker; // its thread has ended and its timers were stopped there
    }

    StoreResult start()
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->open(); });
        return r;
    }

    std::shared_ptr<const CatalogueSnapshot> snapshot() const override { return m_worker->snapshot(); }

    StoreResult importFiles(const QStringList &files) override
    {
        if (files.isEmpty())
            return {StoreError::BadInput, QStringLiteral("no files to import")};
        QList<Importer::Result> parts;
        for (const QString &file : files) {
            Importer::Result part = Importer::readFile(file);
            if (!part.status.ok())
                return part.status;
            parts.append(std::move(part));
        }
        const Importer::Result merged = Importer::merge(parts);
        if (merged.stations.isEmpty())
            return {StoreError::BadInput,
                    QStringLiteral("no usable stations in %1").arg(files.join(QLatin1String(", ")))};
        StoreResult r = replaceAll(merged.stations, merged.countries, {});
        if (r.ok())
            r.message = QStringLiteral("%1 stations in %2 countries imported, %3 skipped")
                            .arg(merged.stations.size())
                            .arg(snapshot()->countries().size())
                            .arg(merged.skipped);
        return r;
    }

    StoreResult replaceCatalogue(const QList<CatalogueStation> &stations) override
    {
        QList<CatalogueStation> clean;
        clean.reserve(stations.size());
        for (CatalogueStation s : stations) {
            if (Importer::normalise(s))
                clean.append(std::move(s));
        }
        Importer::Result merged = Importer::merge({Importer::Result {clean, {}, 0, {}}});
        return replaceAll(merged.stations, {}, {});
    }

    StoreResult replaceCatalogueWithNames(const QList<CatalogueStation> &stations,
                                          const QList<CatalogueCountry> &countryNames) override
    {
        QList<CatalogueStation> clean;
        clean.reserve(stations.size());
        for (CatalogueStation s : stations) {
            if (Importer::normalise(s))
                clean.append(std::move(s));
        }
        Importer::Result merged = Importer::merge({Importer::Result {clean, countryNames, 0, {}}});
        return replaceAll(merged.stations, merged.countries, {});
    }

    StoreResult replaceCountry(const QString &countryCode, const QList<CatalogueStation> &stations) override
    {
        const QString code = countryCode.trimmed().toUpper();
        if (code.size() != 2)
            return {StoreError::BadInput, QStringLiteral("not a country code: %1").arg(countryCode)};
        QList<CatalogueStation> clean;
        for (CatalogueStation s : stations) {
            s.countryCode = code;
            if (Importer::normalise(s))
                clean.append(std::move(s));
        }
        Importer::Result merged = Importer::merge({Importer::Result {clean, {}, 0, {}}});
        return replaceAll(merged.stations, {}, code);
    }

    void recordPlay(const QString &url, const QString &clientId) override
    {
        const auto snap = snapshot();
        const CatalogueStation *station = snap ? snap->stationByUrl(url) : nullptr;
        if (!station)
            return; // only stations of the catalogue are counted
        m_worker->enqueue([&](Pending &p) {
            p.plays.append({station->urlMd5, clientKey(clientId), QDateTime::currentMSecsSinceEpoch()});
        });
    }

    void recordRecorderFailure(const QString &url, const QString &clientId) override
    {
        const QString clean = limited(url, 2000);
        if (clean.isEmpty())
            return;
        m_worker->enqueue([&](Pending &p) {
            p.failures.append({stationUrlMd5(clean), clean, clientKey(clientId), QDateTime::currentMSecsSinceEpoch()});
        });
    }

    void recordFirstRun(const QString &clientId) override
    {
        m_worker->enqueue([&](Pending &p) {
            p.firstRuns.append({clientKey(clientId), QDateTime::currentMSecsSinceEpoch()});
        });
    }

    void recordBrokenReport(const BrokenReport &report, const QString &clientId) override
    {
        BrokenReport r = report;
        r.url = limited(r.url, 2000);
        r.stationName = limited(r.stationName, 400);
        r.countryName = limited(r.countryName, 100);
        if (!r.at.isValid())
            r.at = QDateTime::currentDateTimeUtc();
        m_worker->enqueue([&](Pending &p) { p.reports.append({r, clientKey(clientId)}); });
    }

    QList<BrokenReport> recentReports(int limit) const override { return m_worker->recentReports(limit); }

    void flush() override
    {
        runOnStoreThread([this] { m_worker->flushNow(); });
    }

    Counts counts() const override { return m_worker->counts(); }

private:
    StoreResult replaceAll(QList<CatalogueStation> stations, QList<CatalogueCountry> countries,
                           const QString &onlyCountry)
    {
        if (onlyCountry.isEmpty()) {
            // The local demo's rows are kept by a full replacement, so the input may not add a second copy.
            const QString demo = QString::fromLatin1(CountryNames::kLocalDemoCode);
            stations.removeIf([&](const CatalogueStation &s) { return s.countryCode == demo; });
            countries.removeIf([&](const CatalogueCountry &c) { return c.code == demo; });
        }
        // Every station's country gets a row, names from the file or the built-in table.
        QSet<QString> have;
        for (const CatalogueCountry &c : countries)
            have.insert(c.code);
        for (const CatalogueStation &s : stations) {
            if (!have.contains(s.countryCode)) {
                have.insert(s.countryCode);
                countries.append({s.countryCode, {}, {}, {}, 0});
            }
        }
        for (CatalogueCountry &c : countries) {
            const CountryNames::Names names = CountryNames::namesFor(c.code, c.nameEnglish);
            if (c.nameEnglish.isEmpty())
                c.nameEnglish = names.english;
            if (c.nameDutch.isEmpty())
                c.nameDutch = names.dutch;
            if (c.bestand.isEmpty())
                c.bestand = CountryNames::bestandFor(c.code, c.nameEnglish);
        }
        if (!onlyCountry.isEmpty()) {
            countries.removeIf([&](const CatalogueCountry &c) { return c.code != onlyCountry; });
            if (countries.isEmpty()) {
                const CountryNames::Names names = CountryNames::namesFor(onlyCountry);
                countries.append(
                    {onlyCountry, CountryNames::bestandFor(onlyCountry, names.english), names.dutch, names.english, 0});
            }
        }
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->replace(stations, countries, onlyCountry); });
        return r;
    }

    void runOnStoreThread(const std::function<void()> &work) const
    {
        if (QThread::currentThread() == &m_thread)
            work();
        else
            QMetaObject::invokeMethod(m_worker, work, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    StoreWorker *m_worker = nullptr; // lives on m_thread
};

} // namespace

std::unique_ptr<DirectoryStore> DirectoryStore::open(const QString &database, const StoreOptions &options,
                                                     StoreResult *result)
{
    auto store = std::make_unique<SqlDirectoryStore>(database, options);
    const StoreResult r = store->start();
    if (result)
        *result = r;
    if (!r.ok())
        return nullptr;
    return store;
}

std::unique_ptr<DirectoryStore> DirectoryStore::open(const QString &database, StoreResult *result)
{
    return open(database, StoreOptions {}, result);
}
