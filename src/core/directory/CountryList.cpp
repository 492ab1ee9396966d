#include "directory/CountryList.h"

#include "app/DirectoryUrl.h"

QUrl countryListUrl(const QUrl &directoryBase, const QString &language)
{
    return directoryUrl(directoryBase,
                        language == QLatin1String("Nederlands") ? QStringLiteral("radio/inter/keuze.txt")
                                                                : QStringLiteral("radio/inter/keuze-uk.txt"));
}

int rememberedPosition(const QString &text, int count)
{
    bool ok = false;
    const int position = text.trimmed().toInt(&ok);
    return ok && position >= 0 && position < count ? position : -1;
}
