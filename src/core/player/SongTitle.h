#pragma once

#include <QString>

// A stream title in the usual "Artist - Title" layout, split at its first " - ". A
// title without that separator is all title and has no artist.
struct SongParts
{
    QString artist;
    QString title;
};

SongParts splitSongTitle(const QString &streamTitle);
