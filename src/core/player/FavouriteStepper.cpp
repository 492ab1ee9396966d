#include "player/FavouriteStepper.h"

int stepFavourite(const QStringList &urls, const QString &playingUrl, int step)
{
    const qsizetype count = urls.size();
    if (count < 2)
        return -1;
    const qsizetype at = playingUrl.isEmpty() ? -1 : urls.indexOf(playingUrl);
    // A station that is no favourite starts the round at the first one.
    if (at < 0)
        return 0;
    return int(((at + step) % count + count) % count);
}
