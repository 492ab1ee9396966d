#pragma once

// Every path the player uses, answered from the store's current snapshot; reports go to
// the store's queued writes after the per-client rate limit. Called concurrently from
// all serving threads: the snapshot is immutable, the store's record calls and the rate
// limiter are thread-safe, and the cached pages and the search gate sit behind locks.

#include "catalogue/DirectoryStore.h"
#include "http/HttpMessage.h"
#include "http/RateLimiter.h"

#include <QCache>
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
        // A search takes a few milliseconds, a list a few microseconds: searches are
        // deferred to the server's worker threads (see HttpResponse::deferred), so lists
        // never wait behind them, and one client runs one search at a time.
        // Searches per client: a person types a few a minute, a script thousands.
        int searchBurst = 20;
        int searchesPerMinute = 120;
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
    HttpResponse stored(HttpResponse response) const;
    HttpResponse website(const HttpRequest &request);
    HttpResponse problemPage(const HttpRequest &request, Language language);
    HttpResponse health() const;
    HttpResponse logo(const HttpRequest &request, const QByteArray &file);
    HttpResponse cachedPage(const HttpRequest &request, Language language, bool home);

    DirectoryStore *m_store;
    RequestLog *m_log;
    Options m_options;
    RateLimiter m_reportLimiter;
    RateLimiter m_searchLimiter;

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

    // Logos read from the database lately, by station MD5 (cost in kilobytes).
    struct CachedLogo
    {
        QByteArray etag;
        QByteArray png;
    };
    std::mutex m_logoMutex;
    QCache<QString, CachedLogo> m_logos {8 * 1024};

    std::mutex m_searchMutex;
    QSet<QString> m_searchingClients;
};
