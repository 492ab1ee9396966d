#pragma once

#include <QStringList>

// Next and Previous of the media keys step through the favourites in the order the
// window shows them, wrapping at both ends. From the playing station when it is a
// favourite (matched by its stream address), otherwise from the first favourite.
// Gives the index to play, or -1 when there are fewer than two favourites.
int stepFavourite(const QStringList &urls, const QString &playingUrl, int step);
