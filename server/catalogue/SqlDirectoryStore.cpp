#include "catalogue/SqlDirectoryStore.h"

#include "catalogue/CatalogueWrites.h"
#include "catalogue/CountryNames.h"
#include "catalogue/Importer.h"
#include "catalogue/Reports.h"
#include "catalogue/Snapshot.h"
#include "catalogue/StationDigest.h"

#include <QDateTime>
#include <QMessageAuthenticationCode>
#include <QObject>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace {

constexpr int kCachedReports = 200;
constexpr int kWatchIntervalMs = 10000; // how often another process's catalogue change is looked for
constexpr qint64 kPruneIntervalMs = 3600 * 1000;

QString limited(const QString &text, int max)
{
    return Importer::cleanText(text).left(max);
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

class StoreWorker final : public QObject
{
    Q_OBJECT

public:
    StoreWorker(QString database, StoreOptions options, QString connectionName)
        : m_database(std::move(database))
        , m_options(options)
        , m_connection(std::move(connectionName))
    { }

    // Runs work on the store thread and waits for it; from any other thread. The work
    // itself goes through a queue under a standard mutex, and only a bare wake-up through
    // Qt's event queue: a thread checker sees the caller's data reach the store thread and
    // the results come back (what Qt's own queue and semaphores order is hidden from it).
    void call(const std::function<void()> &work)
    {
        Job job {&work};
        std::unique_lock lock(m_jobsMutex);
        m_jobs.push_back(&job);
        QMetaObject::invokeMethod(this, "runJobs", Qt::QueuedConnection);
        m_jobDone.wait(lock, [&] { return job.done; });
    }

    Q_INVOKABLE void runJobs()
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

    // --- called on the store thread only ---

    StoreResult open(QByteArray *secret)
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

    void close()
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

    StoreResult replace(const QList<CatalogueStation> &stations, const QList<CatalogueCountry> &countries,
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

    StoreResult writeLogos(const QList<StationLogo> &logos)
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

    QHash<QString, QString> logoSources()
    {
        StoreResult r {StoreError::Query, QStringLiteral("the database cannot be reached")};
        QHash<QString, QString> sources;
        if (connected())
            sources = readLogoSources(database(), &r);
        if (!r.ok())
            failed("the logos' sources not read", r.message);
        return sources;
    }

    std::optional<StationLogo> logo(const QString &urlMd5)
    {
        StoreResult r {StoreError::Query, QStringLiteral("the database cannot be reached")};
        std::optional<StationLogo> found;
        if (connected())
            found = readLogo(database(), urlMd5, &r);
        if (!r.ok())
            failed("a logo not read", r.message);
        return found;
    }

    Q_INVOKABLE void writeQueued()
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

    void flushNow()
    {
        writeQueued();
        if (!connected())
            return;
        loadReportCache();
        if (m_playsSinceSnapshot > 0 || catalogueGeneration(database()) != m_generation)
            rebuildSnapshot();
    }

    StoreResult rebuildSnapshot()
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

    StoreResult openReports(int limit, QList<BrokenReport> *reports)
    {
        QString error;
        if (!connected())
            return {StoreError::Query, QStringLiteral("the database cannot be reached")};
        QSqlDatabase db = database();
        if (!Reports::readOpen(db, limit, reports, &error))
            return {StoreError::Query, error};
        return {};
    }

    StoreResult markHandled(const QList<qint64> &ids, int *marked)
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

    // --- callable from any thread ---

    std::shared_ptr<const CatalogueSnapshot> snapshot() const
    {
        std::lock_guard lock(m_snapshotMutex);
        return m_snapshot;
    }

    template<typename Add>
    void enqueue(qint64 bytes, Add add)
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.bytes + bytes > m_options.maxQueuedBytes) {
            ++m_dropped;
            return;
        }
        m_queue.bytes += bytes;
        add(m_queue);
    }

    // done runs after the next write; one wake-up at a time asks for it, so the reports
    // arriving while a write runs go together into the one after it.
    void whenWritten(std::function<void()> done)
    {
        std::lock_guard lock(m_queueMutex);
        m_waiters.push_back(std::move(done));
        if (!m_writeAsked) {
            m_writeAsked = true;
            QMetaObject::invokeMethod(this, "writeQueued", Qt::QueuedConnection);
        }
    }

    QList<BrokenReport> recentReports(int limit, bool handled) const
    {
        std::lock_guard lock(m_cacheMutex);
        return (handled ? m_cache.handled : m_cache.recent).mid(0, std::max(0, limit));
    }

    DirectoryStore::Counts counts() const
    {
        std::lock_guard lock(m_cacheMutex);
        return m_cache.counts;
    }

    DirectoryStore::Health health() const
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

private:
    QSqlDatabase database() const { return QSqlDatabase::database(m_connection, false); }

    // A PostgreSQL connection found lost is opened again before the next use; until that
    // works, reports stay queued and the snapshot in use stays.
    bool connected()
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

    // Logs a failed statement; on PostgreSQL, a connection that no longer answers is
    // marked lost so the next use opens a new one.
    void failed(const char *what, const QString &message)
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

    // A batch the database refused (busy, connection lost) goes back in front of what came
    // in meanwhile; together they may pass the byte bound once, and enqueue() takes
    // nothing more until they are written.
    void requeue(Reports::Pending batch)
    {
        std::lock_guard lock(m_queueMutex);
        batch.append(std::move(m_queue));
        m_queue = std::move(batch);
    }

    void loadReportCache()
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

    const QString m_database;
    const StoreOptions m_options;
    const QString m_connection;
    DatabaseAddress m_address;
    bool m_postgres = false;
    bool m_lost = false;
    QTimer *m_flushTimer = nullptr;
    QTimer *m_refreshTimer = nullptr;
    QTimer *m_watchTimer = nullptr;
    qint64 m_generation = -1;
    int m_playsSinceSnapshot = 0;
    qint64 m_prunedAt = 0;
    qint64 m_cacheLoadedAt = 0;

    // The standard library's mutexes, not QMutex: a thread checker sees what they order
    // (Qt's own are futexes inside a library it does not instrument).
    mutable std::mutex m_snapshotMutex;
    std::shared_ptr<const CatalogueSnapshot> m_snapshot;
    qint64 m_snapshotBuiltAt = 0;
    mutable std::mutex m_queueMutex;
    Reports::Pending m_queue;
    qint64 m_dropped = 0; // refused by a full queue since the last write
    std::vector<std::function<void()>> m_waiters; // see whenWritten()
    bool m_writeAsked = false;
    mutable std::mutex m_cacheMutex;
    Reports::Cache m_cache;

    struct Job
    {
        const std::function<void()> *work;
        bool done = false;
    };
    std::mutex m_jobsMutex;
    std::condition_variable m_jobDone;
    std::deque<Job *> m_jobs;
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
        runOnStoreThread([&] { r = m_worker->open(&m_secret); });
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
        const QString client = digest(clientId);
        m_worker->enqueue(Reports::footprint(station->urlMd5, client), [&](Reports::Pending &p) {
            p.plays.append({station->urlMd5, client, nowMs()});
        });
    }

    void recordRecorderFailure(const QString &url, const QString &clientId) override
    {
        const QString clean = limited(url, 2000);
        if (clean.isEmpty())
            return;
        const QString client = digest(clientId);
        const QString md5 = stationUrlMd5(clean);
        m_worker->enqueue(Reports::footprint(md5, clean, client), [&](Reports::Pending &p) {
            p.failures.append({md5, clean, client, nowMs()});
        });
    }

    void recordFirstRun(const QString &clientId) override
    {
        const QString client = digest(clientId);
        m_worker->enqueue(Reports::footprint(client), [&](Reports::Pending &p) {
            p.firstRuns.append({client, nowMs()});
        });
    }

    void recordBrokenReport(const BrokenReport &report, const QString &clientId) override
    {
        const auto snap = snapshot();
        const CatalogueStation *station = snap ? snap->stationByUrl(report.url) : nullptr;
        if (!station)
            return;
        BrokenReport r;
        r.url = station->url;
        r.stationName = station->name;
        for (const CatalogueCountry *country : snap->countries()) {
            if (country->code == station->countryCode)
                r.countryName = country->nameEnglish;
        }
        r.reason = report.reason;
        r.at = report.at.isValid() ? report.at : QDateTime::currentDateTimeUtc();
        const QString client = digest(clientId);
        m_worker->enqueue(Reports::footprint(r.url, r.stationName, r.countryName, client), [&](Reports::Pending &p) {
            p.reports.append({r, client});
        });
    }

    StoreResult writeLogos(const QList<StationLogo> &logos) override
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->writeLogos(logos); });
        return r;
    }

    QHash<QString, QString> logoSources() override
    {
        QHash<QString, QString> sources;
        runOnStoreThread([&] { sources = m_worker->logoSources(); });
        return sources;
    }

    std::optional<StationLogo> logo(const QString &urlMd5) override
    {
        std::optional<StationLogo> found;
        runOnStoreThread([&] { found = m_worker->logo(urlMd5.toUpper()); });
        return found;
    }

    QList<BrokenReport> recentReports(int limit) const override { return m_worker->recentReports(limit, false); }
    QList<BrokenReport> handledReports(int limit) const override { return m_worker->recentReports(limit, true); }

    StoreResult openReports(int limit, QList<BrokenReport> *reports) override
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->openReports(limit, reports); });
        return r;
    }

    StoreResult markReportsHandled(const QList<qint64> &ids, int *marked) override
    {
        StoreResult r;
        runOnStoreThread([&] { r = m_worker->markHandled(ids, marked); });
        return r;
    }

    Health health() const override { return m_worker->health(); }

    void whenWritten(std::function<void()> done) override { m_worker->whenWritten(std::move(done)); }

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

    QString digest(const QString &clientId) const
    {
        return QString::fromLatin1(
            QMessageAuthenticationCode::hash(clientId.toUtf8(), m_secret, QCryptographicHash::Sha256).toHex().left(32));
    }

    void runOnStoreThread(const std::function<void()> &work) const
    {
        if (QThread::currentThread() == &m_thread)
            work();
        else
            m_worker->call(work);
    }

    QThread m_thread;
    StoreWorker *m_worker = nullptr; // lives on m_thread
    QByteArray m_secret; // set by start(), before any record call
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

#include "SqlDirectoryStore.moc"
