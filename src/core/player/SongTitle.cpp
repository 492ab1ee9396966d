#include "player/SongTitle.h"

SongParts splitSongTitle(const QString &streamTitle)
{
    const QString whole = streamTitle.trimmed();
    const qsizetype dash = whole.indexOf(QLatin1String(" - "));
    if (dash <= 0)
        return {QString(), whole};
    const QString artist = whole.left(dash).trimmed();
    const QString title = whole.mid(dash + 3).trimmed();
    // "Artist - " with nothing after it names no song; keep what was sent.
    if (title.isEmpty())
        return {QString(), whole};
    return {artist, title};
}
