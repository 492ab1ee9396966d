#include "catalogue/RadioBrowserSync.h"

#include "catalogue/Importer.h"
#include "catalogue/StationLogos.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>

QList<QUrl> defaultRadioBrowserMirrors()
{
    QList<QUrl> mirrors;
    const QHostInfo all = QHostInfo::fromName(QStringLiteral("all.api.radio-browser.info"));
    for (const QHostAddress &address : all.addresses()) {
        const QString name = QHostInfo::fromName(address.toString()).hostName();
        if (name.endsWith(QLatin1String(".radio-browser.info")) && QHostAddress(name).isNull()) {
            const QUrl url(QStringLiteral("https://") + name);
            if (!mirrors.contains(url))
                mirrors.append(url);
        }
    }
    // Spread the load over the servers, as the API asks of its clients.
    std::shuffle(mirrors.begin(), mirrors.end(), *QRandomGenerator::global());
    if (mirrors.isEmpty()) {
        for (const char *name : {"de1", "de2", "fi1", "at1", "nl1"})
            mirrors.append(QUrl(QStringLiteral("https://%1.api.radio-browser.info").arg(QLatin1String(name))));
    }
    return mirrors;
}

namespace {

class MirrorClient
{
public:
    MirrorClient(const QList<QUrl> &mirrors, const SyncOptions &options)
        : m_mirrors(mirrors)
        , m_options(options)
    { }

    // GET path from the current mirror and parse it as a JSON array; on failure (no answer,
    // an error status, a body that is no array) the next mirrors are tried in turn, and the
    // one that answers stays current for the following requests.
    std::optional<QJsonArray> get(const QString &path, const QUrlQuery &query, QString *error)
    {
        for (int tried = 0; tried < m_mirrors.size(); ++tried) {
            const QUrl base = m_mirrors.at(m_current);
            QUrl url = base;
            url.setPath(path);
            url.setQuery(query);
            QString why;
            if (const auto body = fetch(url, &why)) {
                const QJsonDocument doc = QJsonDocument::fromJson(*body);
                if (doc.isArray())
                    return doc.array();
                why = QStringLiteral("the answer is not a JSON array");
            }
            log(QStringLiteral("%1: %2; trying the next server").arg(base.toString(), why));
            *error = why;
            m_current = (m_current + 1) % int(m_mirrors.size());
        }
        return std::nullopt;
    }

    void log(const QString &line) const
    {
        if (m_options.log)
            m_options.log(line);
    }

private:
    std::optional<QByteArray> fetch(const QUrl &url, QString *why)
    {
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::UserAgentHeader, m_options.userAgent);
        request.setRawHeader("Accept", "application/json");
        request.setTransferTimeout(m_options.timeoutMs);
        QNetworkReply *reply = m_network.get(request);
        QEventLoop loop;
        QTimer overall; // a server that trickles bytes forever is left too
        overall.setSingleShot(true);
        QObject::connect(&overall, &QTimer::timeout, reply, &QNetworkReply::abort);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        overall.start(m_options.timeoutMs * 6);
        if (!reply->isFinished())
            loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QNetworkReply::NetworkError error = reply->error();
        const QByteArray body = error == QNetworkReply::NoError ? reply->readAll() : QByteArray();
        const QString errorText = reply->errorString();
        reply->deleteLater();
        if (error != QNetworkReply::NoError) {
            *why = error == QNetworkReply::OperationCanceledError ? QStringLiteral("no answer in time") : errorText;
            return std::nullopt;
        }
        if (status != 200) {
            *why = QStringLiteral("HTTP status %1").arg(status);
            return std::nullopt;
        }
        return body;
    }

    QNetworkAccessManager m_network;
    const QList<QUrl> m_mirrors;
    const SyncOptions &m_options;
    int m_current = 0;
};

} // namespace

StoreResult syncFromRadioBrowser(DirectoryStore &store, const QList<QUrl> &mirrors, const SyncOptions &options)
{
    if (mirrors.isEmpty())
        return {StoreError::Network, QStringLiteral("no radio-browser server to ask")};
    MirrorClient client(mirrors, options);
    QString error;
    const auto countries = client.get(QStringLiteral("/json/countries"), {}, &error);
    if (!countries)
        return {StoreError::Network, QStringLiteral("no radio-browser server answered: %1").arg(error)};

    QList<Importer::Result> parts;
    QStringList codes;
    for (const QJsonValue &v : *countries) {
        const QJsonObject o = v.toObject();
        const QString code = o.value(QLatin1String("iso_3166_1")).toString().trimmed().toUpper();
        if (code.size() != 2 || o.value(QLatin1String("stationcount")).toInt() <= 0 || codes.contains(code))
            continue;
        codes.append(code);
    }
    const int pageSize = std::max(1, options.pageSize);
    for (const QString &code : std::as_const(codes)) {
        for (int offset = 0;; offset += pageSize) {
            QUrlQuery query;
            query.addQueryItem(QStringLiteral("offset"), QString::number(offset));
            query.addQueryItem(QStringLiteral("limit"), QString::number(pageSize));
            query.addQueryItem(QStringLiteral("hidebroken"),
                               options.hideBroken ? QStringLiteral("true") : QStringLiteral("false"));
            const auto page = client.get(QStringLiteral("/json/stations/bycountrycodeexact/") + code, query, &error);
            if (!page)
                return {StoreError::Network,
                        QStringLiteral("stations of %1 could not be fetched: %2; the catalogue is unchanged")
                            .arg(code, error)};
            const qsizetype received = page->size();
            Importer::Result part = Importer::readJsonArray(*page);
            // Records without a country code belong to the country asked for.
            part.stations.removeIf([&](const CatalogueStation &s) { return s.countryCode != code; });
            parts.append(std::move(part));
            if (received < pageSize)
                break;
        }
        client.log(QStringLiteral("%1: fetched").arg(code));
    }
    const Importer::Result merged = Importer::merge(parts);
    if (merged.stations.isEmpty())
        return {StoreError::BadInput, QStringLiteral("the radio-browser servers listed no usable stations")};
    StoreResult r = store.replaceCatalogueWithNames(merged.stations, merged.countries);
    if (r.ok() && options.fetchLogos) {
        StationLogos::FetchOptions logoOptions;
        logoOptions.timeoutMs = options.logoTimeoutMs;
        logoOptions.userAgent = options.userAgent;
        logoOptions.log = options.log;
        logoOptions.allowLocalAddresses = options.logosFromLocalAddresses;
        const StoreResult logos = StationLogos::fetch(store, merged.stations, logoOptions);
        client.log(logos.ok() ? logos.message : QStringLiteral("logos not stored: %1").arg(logos.message));
    }
    if (r.ok())
        r.message = QStringLiteral("%1 stations in %2 countries synchronised, %3 skipped")
                        .arg(merged.stations.size())
                        .arg(codes.size())
                        .arg(merged.skipped);
    return r;
}

StoreResult addLocalDemo(DirectoryStore &store, const QString &streamBaseUrl)
{
    QString base = streamBaseUrl.trimmed();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    if (!Importer::isUsableStreamUrl(base))
        return {StoreError::BadInput, QStringLiteral("not a stream address: %1").arg(streamBaseUrl)};
    // The tone is the stream served at "/", so the recorder can take it; the voices are a
    // second mount point of the same server.
    const struct
    {
        const char *name;
        const char *mount;
        const char *tags;
    } demo[] = {
        {"Norvale demo: toon", "", "demo,test,tone"},
        {"Norvale demo: stemmen", "stemmen", "demo,test,speech"},
    };
    QList<CatalogueStation> stations;
    for (const auto &d : demo) {
        CatalogueStation s;
        s.name = QString::fromUtf8(d.name);
        s.url = base + QLatin1String(d.mount);
        s.homepage = base;
        s.tags = QString::fromLatin1(d.tags);
        s.codec = QStringLiteral("MP3");
        s.bitrate = 128;
        stations.append(s);
    }
    return store.replaceCountry(QStringLiteral("ZZ"), stations);
}
