#pragma once

// Every path the player uses, answered from the store's current snapshot; reports go to
// the store's queued writes after the per-client rate limit. Called concurrently from
// all serving threads: the snapshot is immutable, the store's record calls and the rate
// limiter are thread-safe, and the cached pages and the search gate sit behind locks.

#include "DirectoryStore.h"
#include "HttpMessage.h"
#include "RateLimiter.h"

#include <QDateTime>
#include <QSet>
#include <mutex>

class RequestLog;

class DirectoryService final
{
public:
    struct Options
    {
        int searchLimit = 300;
        // Searches running at once, over all clients; one client runs one at a time.
        // A search takes a few milliseconds of a serving thread, a list a few
        // microseconds: with fewer searches than threads, lists always find a thread free.
        int concurrentSearches = 1;
        int reportBurst = 30; // reports a client may send at once
        int reportsPerMinute = 30;
        int handledReports = 5; // on the home page
        RateLimiter::Clock clock; // default: a monotonic clock
    };

    DirectoryService(DirectoryStore *store, RequestLog *log, Options options);

    HttpResponse handle(const HttpRequest &request);

private:
    HttpResponse countryList(const HttpRequest &request, Language language) const;
    HttpResponse stationList(const HttpRequest &request, const QString &bestand) const;
    HttpResponse search(const HttpRequest &request);
    HttpResponse ask(const HttpRequest &request) const;
    HttpResponse report(const HttpRequest &request);
    HttpResponse website(const HttpRequest &request);
    HttpResponse problemPage(const HttpRequest &request, Language language);
    HttpResponse health() const;
    HttpResponse cachedPage(const HttpRequest &request, Language language, bool home);

    DirectoryStore *m_store;
    RequestLog *m_log;
    Options m_options;
    RateLimiter m_reportLimiter;

    // The home and about pages, rendered and compressed once per snapshot (the home page
    // also once per change of the handled reports it shows).
    struct CachedPage
    {
        std::shared_ptr<const CatalogueSnapshot> snapshot;
        QList<qint64> handledIds;
        ListBody page;
    };
    std::mutex m_pageMutex;
    CachedPage m_pages[2][2]; // [home][language]

    std::mutex m_searchMutex;
    int m_searchesRunning = 0;
    QSet<QString> m_searchingClients;
};
