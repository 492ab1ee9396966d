#include "player/DirectoryPages.h"

#include "app/DirectoryUrl.h"
#include "digest/basMD5.h"

namespace DirectoryPages {

namespace {

const QString kWebsite = QStringLiteral("radio/inter/website/index.php");

} // namespace

QUrl homePage(const QUrl &base, const QString &language)
{
    return directoryUrl(base, kWebsite,
                        {{QStringLiteral("wat"), QStringLiteral("home")},
                         {QStringLiteral("lang"), language},
                         {QStringLiteral("versie"), QLatin1String(kVersion)}});
}

QUrl aboutPage(const QUrl &base, const QString &language)
{
    return directoryUrl(base, kWebsite,
                        {{QStringLiteral("wat"), QStringLiteral("over")},
                         {QStringLiteral("lang"), language},
                         {QStringLiteral("versie"), QLatin1String(kVersion)}});
}

QUrl problemPage(const QUrl &base, const QString &language, const QString &streamUrl, const QString &stationName,
                 const QString &countryName)
{
    return directoryUrl(base, kWebsite,
                        {{QStringLiteral("wat"), QStringLiteral("melding")},
                         {QStringLiteral("lang"), language},
                         {QStringLiteral("zenderurl"), streamUrl},
                         {QStringLiteral("zendernaam"), stationName},
                         {QStringLiteral("zenderland"), countryName}});
}

QUrl report(const QUrl &base, const QString &text)
{
    return directoryUrl(base, QStringLiteral("radio/inter/meld/index.php"),
                        {{QStringLiteral("meld"), text}, {QStringLiteral("versie"), QLatin1String(kVersion)}});
}

QUrl ask(const QUrl &base, const QString &streamUrl)
{
    return directoryUrl(base, QStringLiteral("radio/inter/shoutcast/ask.php"),
                        {{QStringLiteral("zenderurl"), basMD5(streamUrl)}});
}

QString recordableAddress(const QString &reply)
{
    return reply.isEmpty() ? QString() : reply.mid(1).trimmed();
}

QUrl stationSite(const QString &radioUrl)
{
    const QString site = radioUrl.trimmed();
    if (site.isEmpty())
        return {};
    QUrl url = QUrl::fromUserInput(site.contains(QLatin1String("://")) ? site : QStringLiteral("http://") + site);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return {};
    return url;
}

} // namespace DirectoryPages
