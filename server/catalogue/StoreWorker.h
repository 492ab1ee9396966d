#pragma once

// The side of the SQL store that lives on its own thread: it owns the connection, writes the
// queued reports, keeps the snapshot and the reports' cache fresh. Only SqlDirectoryStore.cpp
// includes it.

#include "catalogue/CatalogueWrites.h"
#include "catalogue/Reports.h"
#include "catalogue/Snapshot.h"
#include "catalogue/SqlDirectoryStore.h"

#include <QDateTime>
#include <QObject>
#include <QSqlDatabase>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class QTimer;

inline qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

class StoreWorker final : public QObject
{
    Q_OBJECT

public:
    StoreWorker(QString database, StoreOptions options, QString connectionName);

    // Runs work on the store thread and waits for it; from any other thread. The work
    // itself goes through a queue under a standard mutex, and only a bare wake-up through
    // Qt's event queue: a thread checker sees the caller's data reach the store thread and
    // the results come back (what Qt's own queue and semaphores order is hidden from it).
    void call(const std::function<void()> &work);

    Q_INVOKABLE void runJobs();

    // --- called on the store thread only ---

    StoreResult open(QByteArray *secret);
    void close();
    StoreResult replace(const QList<CatalogueStation> &stations, const QList<CatalogueCountry> &countries,
                        const QString &onlyCountry);
    StoreResult writeLogos(const QList<StationLogo> &logos);
    QHash<QString, QString> logoSources();
    std::optional<StationLogo> logo(const QString &urlMd5);
    Q_INVOKABLE void writeQueued();
    void flushNow();
    StoreResult rebuildSnapshot();
    StoreResult openReports(int limit, QList<BrokenReport> *reports);
    StoreResult markHandled(const QList<qint64> &ids, int *marked);

    // --- callable from any thread ---

    std::shared_ptr<const CatalogueSnapshot> snapshot() const;

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
    void whenWritten(std::function<void()> done);

    QList<BrokenReport> recentReports(int limit, bool handled) const;
    DirectoryStore::Counts counts() const;
    DirectoryStore::Health health() const;

private:
    QSqlDatabase database() const;

    // A PostgreSQL connection found lost is opened again before the next use; until that
    // works, reports stay queued and the snapshot in use stays.
    bool connected();

    // Logs a failed statement; on PostgreSQL, a connection that no longer answers is
    // marked lost so the next use opens a new one.
    void failed(const char *what, const QString &message);

    // A batch the database refused (busy, connection lost) goes back in front of what came
    // in meanwhile; together they may pass the byte bound once, and enqueue() takes
    // nothing more until they are written.
    void requeue(Reports::Pending batch);

    void loadReportCache();

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
