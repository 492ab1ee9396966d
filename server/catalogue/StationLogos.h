#pragma once

// Station logos: taken from the catalogue's logo addresses (sync) or from files (import),
// decoded and drawn anew as a PNG of at most 128 x 128 pixels, so that no byte of what a
// logo's server sent reaches a player. Served by the MD5 of the station's stream address.

#include "catalogue/DirectoryStore.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <functional>
#include <optional>

namespace StationLogos {

inline constexpr int kMaxSide = 128;
inline constexpr qsizetype kMaxSourceBytes = 512 * 1024;

// The logo as a fresh PNG (aspect kept, never enlarged, no metadata); nullopt with the
// reason in *why for what is no picture of an accepted format (PNG, JPEG, GIF, ICO, BMP,
// WebP), too large in bytes or in pixels.
std::optional<QByteArray> normalise(const QByteArray &source, QString *why);
// The strong ETag of a logo's bytes, quoted.
QByteArray etagOf(const QByteArray &png);

struct FetchOptions
{
    int timeoutMs = 10000; // per logo, from the request to its last byte
    int parallel = 8; // logos fetched at once
    QByteArray userAgent = "norvale-directory/3.0";
    std::function<void(const QString &)> log; // progress lines, optional
    // Logo addresses come from strangers: one that names or redirects to a loopback,
    // private, link-local or otherwise local address is refused, so a sync cannot be made
    // to probe the directory's own network. Tests serving logos on 127.0.0.1 allow them.
    bool allowLocalAddresses = false;
};

// False for an address of this machine or a local network (loopback, RFC 1918, carrier-
// grade NAT, link-local, unique local, multicast, unspecified; IPv4-mapped forms alike).
bool isPublicAddress(const QHostAddress &address);

// Fetches the logo address of every station that has one and whose stored logo came from
// another address (or there is none), and stores what decodes. A logo that cannot be
// fetched or decoded is skipped (and counted); the call fails only when the store does.
// Blocks, running a local event loop; needs a QCoreApplication.
StoreResult fetch(DirectoryStore &store, const QList<CatalogueStation> &stations, const FetchOptions &options);

// Takes the logos from the files in folder: a file is named after the MD5 of a station's
// stream address (32 hex digits) or after its station UUID as radio-browser gives it,
// with any extension ("3F2A….png", "96062a7b-0601-11e8-ae97-52543be04c81.jpg"). Files
// matching no station of the catalogue, larger than kMaxSourceBytes or not decodable
// are skipped and counted in the message.
StoreResult importFolder(DirectoryStore &store, const QString &folder);

} // namespace StationLogos
