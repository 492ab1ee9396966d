#include "catalogue/Reports.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>
#include <tuple>

namespace Reports {

namespace {

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

QString text(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}

const QString kReportColumns =
    QStringLiteral("id, url, station_name, country_name, reason, reported_at, handled_at FROM broken_reports");

BrokenReport reportFrom(const QSqlQuery &q)
{
    BrokenReport r;
    r.id = q.value(0).toLongLong();
    r.url = q.value(1).toString();
    r.stationName = q.value(2).toString();
    r.countryName = q.value(3).toString();
    r.reason = reasonFromText(q.value(4).toString());
    r.at = QDateTime::fromMSecsSinceEpoch(q.value(5).toLongLong(), Qt::UTC);
    if (const qint64 handled = q.value(6).toLongLong(); handled > 0)
        r.handledAt = QDateTime::fromMSecsSinceEpoch(handled, Qt::UTC);
    return r;
}

bool readReports(QSqlDatabase db, const QString &sql, int limit, QList<BrokenReport> *out)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(limit);
    if (!q.exec())
        return false;
    while (q.next())
        out->append(reportFrom(q));
    return true;
}

} // namespace

void Pending::append(Pending &&later)
{
    plays += later.plays;
    failures += later.failures;
    firstRuns += later.firstRuns;
    reports += later.reports;
    bytes += later.bytes;
}

qint64 footprint(const QString &a, const QString &b, const QString &c, const QString &d)
{
    return 2 * (a.size() + b.size() + c.size() + d.size()) + 96;
}

bool write(QSqlDatabase db, const Pending &batch, int *counted, QString *error)
{
    *counted = 0;
    error->clear();
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    bool ok = true;
    QSqlQuery q(db), bump(db);
    // Waiting for the disk would hold every answer that waits for this batch; what
    // matters is that the reports outlive this process, and PostgreSQL has them either way.
    if (db.driverName() == QLatin1String("QPSQL"))
        ok = q.exec(QStringLiteral("SET LOCAL synchronous_commit TO off"));
    // The first statement that fails names the fault; later ones only say the
    // transaction is aborted.
    const auto run = [&](QSqlQuery &query) {
        ok = ok && query.exec();
        if (!ok && error->isEmpty())
            *error = query.lastError().text();
        return ok;
    };
    // Rows are taken in one order (station, then client) by every process, so two
    // processes writing plays of the same stations wait for each other instead of
    // deadlocking (which would fail both batches, again and again as they grow).
    QList<const Play *> plays;
    plays.reserve(batch.plays.size());
    for (const Play &p : batch.plays)
        plays.append(&p);
    std::sort(plays.begin(), plays.end(),
              [](const Play *a, const Play *b) { return std::tie(a->md5, a->client) < std::tie(b->md5, b->client); });
    // Counted when the mark is new or older than the window: one statement, so two
    // processes taking the same client's play at once count it once.
    // Each statement is prepared only when the batch holds its kind: a round trip each.
    if (!plays.isEmpty())
        q.prepare(QStringLiteral("INSERT INTO play_marks (url_md5, client, played_at) VALUES (?, ?, ?) "
                                 "ON CONFLICT (url_md5, client) DO UPDATE SET played_at = excluded.played_at "
                                 "WHERE play_marks.played_at <= ?"));
    QList<QPair<QString, int>> counts; // per station, in the order above
    for (const Play *p : std::as_const(plays)) {
        q.addBindValue(text(p->md5));
        q.addBindValue(text(p->client));
        q.addBindValue(p->at);
        q.addBindValue(p->at - kPlayWindowMs);
        if (!run(q))
            break;
        if (q.numRowsAffected() > 0) {
            if (counts.isEmpty() || counts.last().first != p->md5)
                counts.append({p->md5, 0});
            ++counts.last().second;
            ++*counted;
        }
    }
    if (!counts.isEmpty())
        bump.prepare(QStringLiteral("INSERT INTO play_counts (url_md5, plays) VALUES (?, ?) "
                                    "ON CONFLICT (url_md5) DO UPDATE SET plays = play_counts.plays + excluded.plays"));
    for (const auto &[md5, n] : std::as_const(counts)) {
        if (!ok)
            break;
        bump.addBindValue(text(md5));
        bump.addBindValue(n);
        run(bump);
    }
    if (!batch.failures.isEmpty())
        q.prepare(
            QStringLiteral("INSERT INTO recorder_failures (url_md5, url, client, failed_at) VALUES (?, ?, ?, ?)"));
    for (const Failure &f : batch.failures) {
        if (!ok)
            break;
        q.addBindValue(f.md5);
        q.addBindValue(text(f.url));
        q.addBindValue(text(f.client));
        q.addBindValue(f.at);
        run(q);
    }
    if (!batch.firstRuns.isEmpty())
        q.prepare(QStringLiteral("INSERT INTO first_runs (client, first_at) VALUES (?, ?)"));
    for (const FirstRun &f : batch.firstRuns) {
        if (!ok)
            break;
        q.addBindValue(text(f.client));
        q.addBindValue(f.at);
        run(q);
    }
    if (!batch.reports.isEmpty())
        q.prepare(QStringLiteral("INSERT INTO broken_reports (url, station_name, country_name, reason, client, "
                                 "reported_at) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const Broken &r : batch.reports) {
        if (!ok)
            break;
        q.addBindValue(text(r.report.url));
        q.addBindValue(text(r.report.stationName));
        q.addBindValue(text(r.report.countryName));
        q.addBindValue(reasonText(r.report.reason));
        q.addBindValue(text(r.client));
        q.addBindValue(r.report.at.toMSecsSinceEpoch());
        run(q);
    }
    if (!ok || !db.commit()) {
        if (ok)
            *error = db.lastError().text();
        db.rollback();
        *counted = 0;
        return false;
    }
    return true;
}

bool readCache(QSqlDatabase db, int limit, Cache *cache)
{
    if (!readReports(db,
                     QStringLiteral("SELECT ") + kReportColumns
                         + QStringLiteral(" ORDER BY reported_at DESC, id DESC LIMIT ?"),
                     limit, &cache->recent)
        || !readReports(db,
                        QStringLiteral("SELECT ") + kReportColumns
                            + QStringLiteral(" WHERE handled = 1 ORDER BY handled_at DESC, id DESC LIMIT ?"),
                        limit, &cache->handled))
        return false;
    bool ok = true;
    const auto scalar = [&](const char *sql) -> qint64 {
        QSqlQuery c(db);
        if (c.exec(QString::fromLatin1(sql)) && c.next())
            return c.value(0).toLongLong();
        ok = false;
        return 0;
    };
    cache->counts.plays = scalar("SELECT COALESCE(SUM(plays), 0) FROM play_counts");
    cache->counts.recorderFailures = scalar("SELECT COUNT(*) FROM recorder_failures");
    cache->counts.firstRuns = scalar("SELECT COUNT(*) FROM first_runs");
    cache->counts.brokenReports = scalar("SELECT COUNT(*) FROM broken_reports");
    return ok;
}

bool readOpen(QSqlDatabase db, int limit, QList<BrokenReport> *reports, QString *error)
{
    if (readReports(
            db, QStringLiteral("SELECT ") + kReportColumns + QStringLiteral(" WHERE handled = 0 ORDER BY id LIMIT ?"),
            limit, reports))
        return true;
    *error = db.lastError().text();
    return false;
}

bool markHandled(QSqlDatabase db, const QList<qint64> &ids, qint64 now, int *marked, QString *error)
{
    *marked = 0;
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE broken_reports SET handled = 1, handled_at = ? WHERE id = ? AND handled = 0"));
    for (const qint64 id : ids) {
        q.addBindValue(now);
        q.addBindValue(id);
        if (!q.exec()) {
            *error = q.lastError().text();
            db.rollback();
            return false;
        }
        *marked += std::max(0, q.numRowsAffected());
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

void prune(QSqlDatabase db, qint64 now)
{
    const qint64 keep = qint64(kKeepDays) * 24 * 3600 * 1000;
    QSqlQuery q(db);
    for (const auto &[sql, before] : {std::pair {"DELETE FROM play_marks WHERE played_at < ?", now - 2 * kPlayWindowMs},
                                      std::pair {"DELETE FROM broken_reports WHERE reported_at < ?", now - keep},
                                      std::pair {"DELETE FROM recorder_failures WHERE failed_at < ?", now - keep}}) {
        q.prepare(QString::fromLatin1(sql));
        q.addBindValue(before);
        q.exec();
    }
}

} // namespace Reports
