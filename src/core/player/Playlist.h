#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// M3U and PLS playlists, the formats other players exchange station lists in. Files
// to import come from anywhere: they are read within fixed bounds, and only absolute
// http and https addresses become entries (a playlist line may name a local file or a
// script URL, which must never reach the player or a favourite).

struct PlaylistEntry
{
    QString title; // may be empty
    QString url;
};

enum class PlaylistFormat { M3u, Pls };

struct PlaylistParseResult
{
    QList<PlaylistEntry> entries;
    int refused = 0; // entries that were not http/https, too long, or beyond the entry limit
};

namespace PlaylistLimits {
constexpr qsizetype kMaxFileBytes = 1024 * 1024;
constexpr qsizetype kMaxEntries = 10000;
constexpr qsizetype kMaxUrlLength = 2048;
constexpr qsizetype kMaxTitleLength = 255;
} // namespace PlaylistLimits

// PLS when the text holds a "[playlist]" section, M3U otherwise (plain or extended,
// any line ending, with or without a byte-order mark). Bytes beyond kMaxFileBytes are
// not looked at.
PlaylistParseResult parsePlaylist(const QByteArray &bytes);

QByteArray writePlaylist(const QList<PlaylistEntry> &entries, PlaylistFormat format);

// The format a file name asks for: ".pls" is PLS, everything else M3U.
PlaylistFormat playlistFormatForFileName(const QString &fileName);
