#include "app/DirectoryUrl.h"

QUrl directoryBaseUrl(const QString &iniValue, const QString &environmentValue)
{
    QString text = environmentValue.trimmed();
    if (text.isEmpty())
        text = iniValue.trimmed();
    QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.isRelative() || url.host().isEmpty())
        url = QUrl(QString::fromLatin1(kDefaultDirectoryUrl));
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    return url;
}

QUrl directoryUrl(const QUrl &base, const QString &path, const QueryItems &query)
{
    QUrl url(base.toString(QUrl::FullyEncoded) + QString::fromLatin1(QUrl::toPercentEncoding(path, "/")));
    if (!query.isEmpty()) {
        QByteArray encoded;
        for (const auto &[key, value] : query) {
            if (!encoded.isEmpty())
                encoded += '&';
            encoded += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
        }
        url.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
    }
    return url;
}
