#include "catalogue/SchemaMigrations.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace {

// Any constant both sides agree on; it names the migration lock among the advisory locks.
constexpr qint64 kMigrationLock = 0x4e6f7276616c6531; // "Norvale1"

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
        {
            // One row per station and client holding its last counted play: the
            // once-an-hour rule is one atomic upsert, whichever process takes the play.
            // The old rows were digested without the deployment's key and match nothing.
            QStringLiteral("DROP TABLE plays"),
            QStringLiteral("CREATE TABLE play_marks (url_md5 TEXT NOT NULL, client TEXT NOT NULL, "
                           "played_at BIGINT NOT NULL, PRIMARY KEY (url_md5, client))"),
            QStringLiteral("CREATE INDEX play_marks_age ON play_marks (played_at)"),
            QStringLiteral("ALTER TABLE broken_reports ADD COLUMN handled_at BIGINT NOT NULL DEFAULT 0"),
            QStringLiteral("CREATE INDEX broken_reports_recent ON broken_reports (reported_at)"),
            QStringLiteral("CREATE INDEX broken_reports_handled ON broken_reports (handled, handled_at)"),
            QStringLiteral("CREATE INDEX recorder_failures_age ON recorder_failures (failed_at)"),
            QStringLiteral("CREATE TABLE deployment (id INTEGER PRIMARY KEY, secret TEXT NOT NULL)"),
        },
        {
            // A logo per station, made here from what its source gave (StationLogos).
            QStringLiteral("CREATE TABLE station_logos (url_md5 TEXT PRIMARY KEY, source TEXT NOT NULL, "
                           "etag TEXT NOT NULL, png %BLOB% NOT NULL, stored_at BIGINT NOT NULL)"),
        },
    };
    return m;
}

StoreResult queryError(const QString &what, const QSqlError &e)
{
    return {StoreError::Query, what + QStringLiteral(": ") + e.text()};
}

bool execDialect(QSqlQuery &q, QString sql, bool postgres)
{
    sql.replace(QLatin1String("%ID%"),
                postgres ? QLatin1String("BIGSERIAL PRIMARY KEY") : QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"));
    sql.replace(QLatin1String("%BLOB%"), postgres ? QLatin1String("BYTEA") : QLatin1String("BLOB"));
    return q.exec(sql);
}

// One step under the write lock: the version is read again there, so a step another
// process finished meanwhile is not run twice. Sets *done when nothing is left.
StoreResult migrateOneStep(QSqlDatabase db, bool postgres, bool *done)
{
    QSqlQuery q(db);
    const bool begun = postgres ? db.transaction() : q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!begun)
        return queryError(QStringLiteral("cannot begin the migration"), postgres ? db.lastError() : q.lastError());
    const auto fail = [&](const StoreResult &r) {
        if (postgres)
            db.rollback();
        else
            q.exec(QStringLiteral("ROLLBACK"));
        return r;
    };
    int version = 0;
    if (db.tables().contains(QLatin1String("schema_version"))) {
        if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")))
            return fail(queryError(QStringLiteral("cannot read the schema version"), q.lastError()));
        if (q.next())
            version = q.value(0).toInt();
    }
    const int latest = int(migrations().size());
    if (version > latest)
        return fail({StoreError::SchemaTooNew,
                     QStringLiteral("the database has schema version %1; this program "
                                    "knows up to %2")
                         .arg(version)
                         .arg(latest)});
    if (version == latest) {
        *done = true;
        return fail({}); // nothing written: a rollback ends it as well as a commit
    }
    const int next = version + 1;
    bool ok = true;
    if (next == 1)
        ok = q.exec(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"));
    for (const QString &sql : migrations().at(next - 1)) {
        if (!ok)
            break;
        ok = execDialect(q, sql, postgres);
    }
    if (ok) {
        ok = q.exec(QStringLiteral("DELETE FROM schema_version"));
        q.prepare(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"));
        q.addBindValue(next);
        ok = ok && q.exec();
    }
    if (!ok)
        return fail(queryError(QStringLiteral("migration to schema version %1 failed").arg(next), q.lastError()));
    const bool committed = postgres ? db.commit() : q.exec(QStringLiteral("COMMIT"));
    if (!committed)
        return fail(queryError(QStringLiteral("migration to schema version %1 not committed").arg(next),
                               postgres ? db.lastError() : q.lastError()));
    return {};
}

} // namespace

StoreResult migrateSchema(QSqlDatabase db, bool postgres)
{
    QSqlQuery lock(db);
    if (postgres && !lock.exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(kMigrationLock)))
        return queryError(QStringLiteral("cannot take the migration lock"), lock.lastError());
    StoreResult r;
    bool done = false;
    while (r.ok() && !done)
        r = migrateOneStep(db, postgres, &done);
    if (postgres)
        lock.exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(kMigrationLock));
    return r;
}

QByteArray deploymentSecret(QSqlDatabase db, StoreResult *result)
{
    // Whoever inserts first wins; everyone reads back the one row.
    QByteArray fresh(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(fresh.data()),
                                         reinterpret_cast<quint32 *>(fresh.data() + fresh.size()));
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO deployment (id, secret) VALUES (1, ?) ON CONFLICT (id) DO NOTHING"));
    q.addBindValue(QString::fromLatin1(fresh.toHex()));
    if (!q.exec() || !q.exec(QStringLiteral("SELECT secret FROM deployment WHERE id = 1")) || !q.next()) {
        *result = queryError(QStringLiteral("cannot read the deployment's secret"), q.lastError());
        return {};
    }
    *result = {};
    return QByteArray::fromHex(q.value(0).toString().toLatin1());
}
