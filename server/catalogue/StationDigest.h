#pragma once

// The digest the player sends to the ask service for a stream URL: MD5 as 32 upper-case
// hex digits over the URL's UTF-8 bytes. The player's own routine is used when the digest
// library provides it, so server and player can never disagree.

#include <QString>

#if __has_include(<basMD5.h>)
#include <basMD5.h>
inline QString stationUrlMd5(const QString &url)
{
    return basMD5(url);
}
#else
#include <QCryptographicHash>
inline QString stationUrlMd5(const QString &url)
{
    return QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
}
#endif
