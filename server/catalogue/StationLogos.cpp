#include "catalogue/StationLogos.h"

#include "catalogue/StationDigest.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <cstring>

namespace StationLogos {

namespace {

// Pictures above this many pixels a side are not decoded at all.
constexpr int kMaxSourceSide = 4096;
constexpr int kAllocationLimitMb = 64;
constexpr qsizetype kWriteBatch = 200;

bool acceptedFormat(const QByteArray &format)
{
    static const QSet<QByteArray> formats {"png", "jpeg", "jpg", "gif", "ico", "bmp", "webp"};
    return formats.contains(format.toLower());
}

QString upperMd5(const QString &text)
{
    static const QRegularExpression md5(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    return md5.match(text).hasMatch() ? text.toUpper() : QString();
}

// Stores in batches, so a long run keeps little in memory and loses little on a failure.
class Batch
{
public:
    explicit Batch(DirectoryStore &store)
        : m_store(store)
    { }
    StoreResult add(StationLogo logo)
    {
        m_pending.append(std::move(logo));
        return m_pending.size() >= kWriteBatch ? write() : StoreResult {};
    }
    StoreResult write()
    {
        if (m_pending.isEmpty())
            return {};
        const StoreResult r = m_store.writeLogos(m_pending);
        if (r.ok())
            m_written += m_pending.size();
        m_pending.clear();
        return r;
    }
    qsizetype written() const { return m_written; }

private:
    DirectoryStore &m_store;
    QList<StationLogo> m_pending;
    qsizetype m_written = 0;
};

// Looks the host up and calls done with an empty text when every address it names is
// public, else with the reason; not at all when context is gone first. The request then
// looks it up again: a name server answering differently the second time within its
// TTL is not caught here.
void checkHost(const QString &host, QObject *context, std::function<void(const QString &)> done)
{
    QHostInfo::lookupHost(host, context, [host, done = std::move(done)](const QHostInfo &info) {
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            return done(info.errorString());
        for (const QHostAddress &address : info.addresses()) {
            if (!isPublicAddress(address))
                return done(QStringLiteral("%1 is a local address (%2)").arg(host, address.toString()));
        }
        done({});
    });
}

} // namespace

bool isPublicAddress(const QHostAddress &address)
{
    static const QList<QPair<QHostAddress, int>> local = [] {
        QList<QPair<QHostAddress, int>> nets;
        for (const char *net : {"0.0.0.0/8", "10.0.0.0/8", "100.64.0.0/10", "127.0.0.0/8", "169.254.0.0/16",
                                "172.16.0.0/12", "192.0.0.0/24", "192.168.0.0/16", "198.18.0.0/15", "224.0.0.0/3",
                                "::/127", "64:ff9b::/96", "fc00::/7", "fe80::/10", "ff00::/8"})
            nets.append(QHostAddress::parseSubnet(QLatin1String(net)));
        return nets;
    }();
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4); // also a mapped ::ffff:a.b.c.d
    const QHostAddress plain = v4 ? QHostAddress(ipv4) : address;
    if (plain.isNull())
        return false;
    return std::none_of(local.cbegin(), local.cend(),
                        [&](const QPair<QHostAddress, int> &net) { return plain.isInSubnet(net); });
}

std::optional<QByteArray> normalise(const QByteArray &source, QString *why)
{
    if (source.size() > kMaxSourceBytes) {
        *why = QStringLiteral("larger than %1 KB").arg(kMaxSourceBytes / 1024);
        return std::nullopt;
    }
    QBuffer in;
    in.setData(source);
    in.open(QIODevice::ReadOnly);
    QImageReader reader(&in);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kAllocationLimitMb);
    if (!acceptedFormat(reader.format())) {
        *why = QStringLiteral("not a picture of an accepted format");
        return std::nullopt;
    }
    const QSize declared = reader.size();
    if (declared.width() > kMaxSourceSide || declared.height() > kMaxSourceSide) {
        *why = QStringLiteral("%1 x %2 pixels").arg(declared.width()).arg(declared.height());
        return std::nullopt;
    }
    QImage image = reader.read();
    if (image.isNull() || image.width() > kMaxSourceSide || image.height() > kMaxSourceSide) {
        *why = image.isNull() ? reader.errorString() : QStringLiteral("too large");
        return std::nullopt;
    }
    if (image.width() > kMaxSide || image.height() > kMaxSide)
        image = image.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_ARGB32);
    // Pixels only: a fresh image carries none of the source's text chunks or colour profile.
    QImage fresh(image.size(), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(fresh.scanLine(y), image.constScanLine(y), std::size_t(image.width()) * 4);
    QByteArray png;
    QBuffer out(&png);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, "png");
    if (!writer.write(fresh)) {
        *why = writer.errorString();
        return std::nullopt;
    }
    return png;
}

QByteArray etagOf(const QByteArray &png)
{
    return '"' + QCryptographicHash::hash(png, QCryptographicHash::Sha256).toHex().left(32) + '"';
}

StoreResult fetch(DirectoryStore &store, const QList<CatalogueStation> &stations, const FetchOptions &options)
{
    struct Wanted
    {
        QString md5;
        QString address;
    };
    QList<Wanted> wanted;
    {
        const QHash<QString, QString> stored = store.logoSources();
        QSet<QString> seen;
        for (const CatalogueStation &s : stations) {
            const QString address = s.logoUrl.trimmed();
            const QString md5 = (s.urlMd5.isEmpty() ? stationUrlMd5(s.url) : s.urlMd5).toUpper();
            const QUrl url(address, QUrl::StrictMode);
            if (address.isEmpty() || !url.isValid() || url.host().isEmpty()
                || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
                continue;
            if (seen.contains(md5) || stored.value(md5) == address)
                continue; // kept from an earlier run while its address stays
            seen.insert(md5);
            wanted.append({md5, address});
        }
    }
    const auto log = [&](const QString &line) {
        if (options.log)
            options.log(line);
    };

    QNetworkAccessManager network;
    QEventLoop loop;
    Batch batch(store);
    StoreResult result;
    qsizetype next = 0;
    int running = 0;
    int unusable = 0;
    std::function<void()> startMore;
    const auto finishOne = [&] {
        if (running == 0 && (next >= wanted.size() || !result.ok()))
            loop.quit();
        else
            startMore();
    };
    const auto refuse = [&](const Wanted &item, const QString &why) {
        --running;
        ++unusable;
        log(QStringLiteral("logo %1: %2").arg(item.address.left(200), why));
        finishOne();
    };
    const auto get = [&](const Wanted &item) {
        QNetworkRequest request {QUrl(item.address, QUrl::StrictMode)};
        request.setHeader(QNetworkRequest::UserAgentHeader, options.userAgent);
        request.setMaximumRedirectsAllowed(3);
        request.setTransferTimeout(options.timeoutMs);
        if (!options.allowLocalAddresses)
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
        QNetworkReply *reply = network.get(request);
        if (!options.allowLocalAddresses) {
            // Each redirect's target is looked at like the first address.
            QObject::connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &target) {
                checkHost(target.host(), reply, [reply](const QString &why) {
                    if (why.isEmpty())
                        emit reply->redirectAllowed();
                    else
                        reply->abort();
                });
            });
        }
        // A server that trickles bytes forever is left too.
        auto *overall = new QTimer(reply);
        overall->setSingleShot(true);
        QObject::connect(overall, &QTimer::timeout, reply, &QNetworkReply::abort);
        overall->start(options.timeoutMs);
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
            if (received > kMaxSourceBytes || total > kMaxSourceBytes)
                reply->abort();
        });
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&, reply, item] {
            --running;
            reply->deleteLater();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            QString why = reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                                   : QStringLiteral("HTTP status %1").arg(status);
            std::optional<QByteArray> png;
            if (reply->error() == QNetworkReply::NoError && status == 200)
                png = normalise(reply->read(kMaxSourceBytes + 1), &why);
            if (png) {
                const StoreResult r = batch.add({item.md5, item.address, *png, etagOf(*png)});
                if (!r.ok())
                    result = r;
            } else {
                ++unusable;
                log(QStringLiteral("logo %1: %2").arg(item.address.left(200), why));
            }
            finishOne();
        });
    };
    startMore = [&] {
        while (running < std::max(1, options.parallel) && next < wanted.size() && result.ok()) {
            const Wanted item = wanted.at(next++);
            ++running;
            if (options.allowLocalAddresses) {
                get(item);
                continue;
            }
            checkHost(QUrl(item.address).host(), &loop, [&, item](const QString &why) {
                if (why.isEmpty())
                    get(item);
                else
                    refuse(item, why);
            });
        }
    };
    if (!wanted.isEmpty()) {
        startMore();
        loop.exec();
    }
    if (result.ok())
        result = batch.write();
    if (result.ok())
        result.message = QStringLiteral("%1 logos stored, %2 could not be used").arg(batch.written()).arg(unusable);
    return result;
}

StoreResult importFolder(DirectoryStore &store, const QString &folder)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return {StoreError::BadInput, QStringLiteral("no folder %1").arg(folder)};
    const auto snapshot = store.snapshot();
    QHash<QString, QString> md5ByUuid;
    for (const CatalogueStation *s : snapshot->popular(snapshot->stationCount()))
        md5ByUuid.insert(s->uuid.toLower(), s->urlMd5.toUpper());

    Batch batch(store);
    int unmatched = 0;
    int unusable = 0;
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName().section(QLatin1Char('.'), 0, 0);
        QString md5 = upperMd5(name);
        if (md5.isEmpty())
            md5 = md5ByUuid.value(name.toLower());
        if (md5.isEmpty() || !snapshot->stationByMd5(md5)) {
            ++unmatched;
            continue;
        }
        QFile f(file.filePath());
        QString why;
        std::optional<QByteArray> png;
        if (file.size() <= kMaxSourceBytes && f.open(QIODevice::ReadOnly))
            png = normalise(f.read(kMaxSourceBytes + 1), &why);
        if (!png) {
            ++unusable;
            continue;
        }
        const StoreResult r = batch.add({md5, QStringLiteral("file:") + file.fileName(), *png, etagOf(*png)});
        if (!r.ok())
            return r;
    }
    StoreResult r = batch.write();
    if (r.ok())
        r.message = QStringLiteral("%1 logos imported; %2 files name no station, %3 are no usable picture")
                        .arg(batch.written())
                        .arg(unmatched)
                        .arg(unusable);
    return r;
}

} // namespace StationLogos
