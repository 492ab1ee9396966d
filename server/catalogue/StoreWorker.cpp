#include "catalogue/StoreWorker.h"

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

namespace {

constexpr int kCachedReports = 200;
constexpr int kWatchIntervalMs = 10000; // how often another process's catalogue change is looked for
constexpr qint64 kPruneIntervalMs = 3600 * 1000;

} // namespace

StoreWorker::StoreWorker(QString database, StoreOptions options, QString connectionName)
    : m_database(std::move(database))
    , m_options(options)
    , m_connection(std::move(connectionName))
{ }

void StoreWorker::call(const std::function<void()> &work)
{
    Job job {&work};
    std::unique_lock lock(m_jobsMutex);
    m_jobs.push_back(&job);
    QMetaObject::invokeMethod(this, "runJobs", Qt::QueuedConnection);
    m_jobDone.wait(lock, [&] { return job.done; });
}

void StoreWorker::runJobs()
{
    std::unique_lock lock(m_jobsMutex);
    while (!m_jobs.empty()) {
        Job *job = m_jobs.front();
        m_jobs.pop_front();
        lock.unlock();
        (*job->work)();
        lock.lock();
        job->done = true;
        m_jobDone.notify_all();
    }
}

StoreResult StoreWorker::open(QByteArray *secret)
{
    m_address = parseDatabaseAddress(m_database);
    if (m_address.kind == DatabaseAddress::Kind::Invalid)
        // Not echoed: the text may hold a password.
        return {StoreError::CannotOpen, QStringLiteral("not a database address")};
    m_postgres = m_address.kind == DatabaseAddress::Kind::Postgres;
    QSqlDatabase db = addDatabaseConnection(m_address, m_connection);
    QString error;
    if (!openDatabaseConnection(db, m_address, &error))
        return {StoreError::CannotOpen, error};
    StoreResult r = migrateSchema(db, m_postgres);
    if (!r.ok())
        return r;
    *secret = deploymentSecret(db, &r);
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
        if (nowMs() - m_prunedAt > kPruneIntervalMs && connected()) {
            Reports::prune(database(), nowMs());
            m_prunedAt = nowMs();
        }
    });
    m_refreshTimer->start();
    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(kWatchIntervalMs);
    connect(m_watchTimer, &QTimer::timeout, this, [this] {
        if (!connected())
            return;
        const qint64 generation = catalogueGeneration(database());
        if (generation < 0)
            failed("the catalogue's generation not read", database().lastError().text());
        else if (generation != m_generation)
            rebuildSnapshot();
    });
    m_watchTimer->start();
    return {};
}

void StoreWorker::close()
{
    for (QTimer *timer : {m_flushTimer, m_refreshTimer, m_watchTimer}) {
        if (timer)
            timer->stop();
    }
    if (QSqlDatabase::contains(m_connection)) {
        writeQueued();
        database().close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

StoreResult StoreWorker::replace(const QList<CatalogueStation> &stations, const QList<CatalogueCountry> &countries,
                                 const QString &onlyCountry)
{
    if (!connected())
        return {StoreError::Query, QStringLiteral("the database cannot be reached")};
    QSqlDatabase db = database();
    const StoreResult r = writeCatalogue(db, stations, countries, onlyCountry);
    if (!r.ok()) {
        failed("the catalogue not written", r.message);
        return r;
    }
    return rebuildSnapshot();
}

StoreResult StoreWorker::writeLogos(const QList<StationLogo> &logos)
{
    if (!connected())
        return {StoreError::Query, QStringLiteral("the database cannot be reached")};
    const StoreResult r = writeLogoRows(database(), logos);
    if (!r.ok()) {
        failed("the logos not written", r.message);
        return r;
    }
    return rebuildSnapshot();
}

QHash<QString, QString> StoreWorker::logoSources()
{
    StoreResult r {StoreError::Query, QStringLiteral("the database cannot be reached")};
    QHash<QString, QString> sources;
    if (connected())
        sources = readLogoSources(database(), &r);
    if (!r.ok())
        failed("the logos' sources not read", r.message);
    return sources;
}

std::optional<StationLogo> StoreWorker::logo(const QString &urlMd5)
{
    StoreResult r {StoreError::Query, QStringLiteral("the database cannot be reached")};
    std::optional<StationLogo> found;
    if (connected())
        found = readLogo(database(), urlMd5, &r);
    if (!r.ok())
        failed("a logo not read", r.message);
    return found;
}

void StoreWorker::writeQueued()
{
    Reports::Pending batch;
    qint64 dropped = 0;
    std::vector<std::function<void()>> waiters;
    {
        std::lock_guard lock(m_queueMutex);
        std::swap(batch, m_queue);
        std::swap(dropped, m_dropped);
        std::swap(waiters, m_waiters);
        m_writeAsked = false;
    }
    const auto release = qScopeGuard([&waiters] {
        for (const auto &done : waiters)
            done();
    });
    if (dropped > 0)
        qWarning("norvale-directory: %lld reports dropped, the queue was full", dropped);
    if (batch.size() == 0)
        return;
    int counted = 0;
    QString error;
    if (!connected()) {
        requeue(std::move(batch));
        return;
    }
    QSqlDatabase db = database();
    if (!Reports::write(db, batch, &counted, &error)) {
        failed("reports not written, kept for the next try", error);
        requeue(std::move(batch));
        return;
    }
    m_playsSinceSnapshot += counted;
    // Written as often as reports arrive; the pages' counts need not follow each write.
    if (!batch.reports.isEmpty() || nowMs() - m_cacheLoadedAt >= m_options.flushIntervalMs)
        loadReportCache();
}

void StoreWorker::flushNow()
{
    writeQueued();
    if (!connected())
        return;
    loadReportCache();
    if (m_playsSinceSnapshot > 0 || catalogueGeneration(database()) != m_generation)
        rebuildSnapshot();
}

StoreResult StoreWorker::rebuildSnapshot()
{
    if (!connected())
        return {StoreError::Query, QStringLiteral("the database cannot be reached")};
    QSqlDatabase db = database();
    QList<CatalogueStation> stations;
    QList<CatalogueCountry> countries;
    // Read before the stations: a change committed in between is seen on the next check.
    const qint64 generation = catalogueGeneration(db);
    StoreResult r = generation < 0 ? StoreResult {StoreError::Query, db.lastError().text()}
                                   : readCatalogue(db, &stations, &countries);
    if (!r.ok()) {
        // The snapshot in use stays; /health tells its age.
        failed("the snapshot not refreshed", r.message);
        return r;
    }
    m_playsSinceSnapshot = 0;
    m_generation = generation;
    std::shared_ptr<const CatalogueSnapshot> snapshot =
        buildSnapshot(std::move(stations), countries, m_options.maxListChars);
    std::lock_guard lock(m_snapshotMutex);
    m_snapshot = std::move(snapshot);
    m_snapshotBuiltAt = nowMs();
    return {};
}

StoreResult StoreWorker::openReports(int limit, QList<BrokenReport> *reports)
{
    QString error;
    if (!connected())
        return {StoreError::Query, QStringLiteral("the database cannot be reached")};
    QSqlDatabase db = database();
    if (!Reports::readOpen(db, limit, reports, &error))
        return {StoreError::Query, error};
    return {};
}

StoreResult StoreWorker::markHandled(const QList<qint64> &ids, int *marked)
{
    QString error;
    if (!connected())
        return {StoreError::Query, QStringLiteral("the database cannot be reached")};
    QSqlDatabase db = database();
    if (!Reports::markHandled(db, ids, nowMs(), marked, &error))
        return {StoreError::Query, error};
    loadReportCache();
    return {};
}

std::shared_ptr<const CatalogueSnapshot> StoreWorker::snapshot() const
{
    std::lock_guard lock(m_snapshotMutex);
    return m_snapshot;
}

void StoreWorker::whenWritten(std::function<void()> done)
{
    std::lock_guard lock(m_queueMutex);
    m_waiters.push_back(std::move(done));
    if (!m_writeAsked) {
        m_writeAsked = true;
        QMetaObject::invokeMethod(this, "writeQueued", Qt::QueuedConnection);
    }
}

QList<BrokenReport> StoreWorker::recentReports(int limit, bool handled) const
{
    std::lock_guard lock(m_cacheMutex);
    return (handled ? m_cache.handled : m_cache.recent).mid(0, std::max(0, limit));
}

DirectoryStore::Counts StoreWorker::counts() const
{
    std::lock_guard lock(m_cacheMutex);
    return m_cache.counts;
}

DirectoryStore::Health StoreWorker::health() const
{
    DirectoryStore::Health h;
    {
        std::lock_guard lock(m_snapshotMutex);
        h.snapshotAgeSeconds = std::max<qint64>(0, nowMs() - m_snapshotBuiltAt) / 1000;
    }
    // Two refreshes missed, and a minute for a slow one.
    h.snapshotStale = h.snapshotAgeSeconds > 2 * qint64(std::max(1, m_options.snapshotRefreshSeconds)) + 60;
    std::lock_guard lock(m_queueMutex);
    h.queuedReports = m_queue.size();
    h.queuedBytes = m_queue.bytes;
    return h;
}

QSqlDatabase StoreWorker::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool StoreWorker::connected()
{
    if (!m_lost)
        return true;
    QSqlDatabase db = database();
    db.close();
    QString error;
    if (!openDatabaseConnection(db, m_address, &error))
        return false;
    m_lost = false;
    qWarning("norvale-directory: the database connection is open again");
    return true;
}

void StoreWorker::failed(const char *what, const QString &message)
{
    qWarning("norvale-directory: %s: %s", what, qPrintable(message.simplified()));
    if (!m_postgres || m_lost)
        return;
    QSqlQuery probe(database());
    if (!probe.exec(QStringLiteral("SELECT 1"))) {
        m_lost = true;
        qWarning("norvale-directory: the database connection is lost; it is opened again on the next try");
    }
}

void StoreWorker::requeue(Reports::Pending batch)
{
    std::lock_guard lock(m_queueMutex);
    batch.append(std::move(m_queue));
    m_queue = std::move(batch);
}

void StoreWorker::loadReportCache()
{
    Reports::Cache cache;
    QSqlDatabase db = database();
    if (!Reports::readCache(db, kCachedReports, &cache)) {
        failed("the reports not read", db.lastError().text());
        return;
    }
    m_cacheLoadedAt = nowMs();
    std::lock_guard lock(m_cacheMutex);
    m_cache = std::move(cache);
}
