#pragma once

#include "DirectoryStore.h"
#include "TagParser.h"

#include <QDir>
#include <QString>

inline QString sharedStations()
{
    return QDir(QStringLiteral(NORVALE_SHARED_DATA)).filePath(QStringLiteral("stations"));
}

inline CatalogueStation makeStation(const QString &country, const QString &name, const QString &url, int votes = 0,
                                    const QString &tags = {}, const QString &homepage = {})
{
    CatalogueStation s;
    s.countryCode = country;
    s.name = name;
    s.url = url;
    s.votes = votes;
    s.tags = tags;
    s.homepage = homepage;
    return s;
}

inline QStringList names(const QList<const CatalogueStation *> &stations)
{
    QStringList out;
    for (const CatalogueStation *s : stations)
        out.append(s->name);
    return out;
}
