#pragma once

#include "catalogue/DirectoryStore.h"

#include <QList>
#include <QUrl>
#include <functional>

struct SyncOptions
{
    int timeoutMs = 20000; // per request; a mirror that does not answer in time is left
    int pageSize = 1000; // stations per request (offset/limit paging)
    QByteArray userAgent = "norvale-directory/3.0";
    bool hideBroken = true; // ask only for stations whose last check passed
    bool fetchLogos = true; // each station's logo from its "favicon" address (StationLogos)
    int logoTimeoutMs = 10000; // per logo
    bool logosFromLocalAddresses = false; // see StationLogos::FetchOptions::allowLocalAddresses
    std::function<void(const QString &)> log; // progress lines, optional
};

// The radio-browser API servers to try, in order: the names behind all.api.radio-browser.info
// (one reverse lookup per address; https needs the name), or a fixed list of known mirrors
// when the lookup gives nothing. Blocks for the DNS lookups.
QList<QUrl> defaultRadioBrowserMirrors();

// Fetches every country's stations from the first mirror that answers (a failing or slow
// mirror is dropped for the next one, also half-way), then replaces the catalogue in one
// transaction. Nothing is replaced unless every country was fetched. Then the stations'
// logos are fetched; one that fails is skipped and never fails the sync. Blocks the calling
// thread, running a local event loop; needs a QCoreApplication.
StoreResult syncFromRadioBrowser(DirectoryStore &store, const QList<QUrl> &mirrors, const SyncOptions &options = {});

// Adds or replaces the local demo country (code "ZZ", list "lokaal.txt") whose stations
// stream from the local Icecast at streamBaseUrl ("http://127.0.0.1:8000/"): mount points
// "toon" and "stemmen" below it.
StoreResult addLocalDemo(DirectoryStore &store, const QString &streamBaseUrl);
