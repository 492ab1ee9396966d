#pragma once

// The digest the player sends to the ask service for a stream URL. The player's own
// routine is used so that server and player can never disagree.

#include "digest/basMD5.h"

#include <QString>

inline QString stationUrlMd5(const QString &url)
{
    return basMD5(url);
}
