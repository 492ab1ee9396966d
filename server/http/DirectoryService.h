#pragma once

// Every path the player uses, answered from the store's current snapshot; reports go to
// the store's queued writes after the per-client rate limit. Called concurrently from
// all serving threads: the snapshot is immutable, the store's record calls and the rate
// limiter are thread-safe, and the cached recent reports sit behind a lock.

#include "DirectoryStore.h"
#include "HttpMessage.h"
#include "RateLimiter.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <mutex>

class RequestLog;

class DirectoryService final
{
public:
    struct Options
    {
        int searchLimit = 300;
        int reportBurst = 30; // reports a client may send at once
        int reportsPerMinute = 30;
        int recentReports = 5; // on the home page
        RateLimiter::Clock clock; // default: a monotonic clock
    };

    DirectoryService(DirectoryStore *store, RequestLog *log, Options options);

    HttpResponse handle(const HttpRequest &request);

private:
    HttpResponse countryList(Language language) const;
    HttpResponse stationList(const QString &bestand) const;
    HttpResponse search(const HttpRequest &request) const;
    HttpResponse ask(const HttpRequest &request) const;
    HttpResponse report(const HttpRequest &request);
    HttpResponse website(const HttpRequest &request);
    HttpResponse problemPage(const HttpRequest &request, Language language);
    HttpResponse health() const;
    QList<BrokenReport> recentReports();

    DirectoryStore *m_store;
    RequestLog *m_log;
    Options m_options;
    RateLimiter m_reportLimiter;
    std::mutex m_recentMutex;
    QList<BrokenReport> m_recent;
    QElapsedTimer m_recentAge;
};
