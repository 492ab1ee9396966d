#include "player/StationLogo.h"

#include "app/Transfer.h"
#include "digest/basMD5.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace {

// Decodes only a PNG of sane size: the bytes come over the network.
QImage decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > 4 * StationLogo::kMaxSide || size.height() > 4 * StationLogo::kMaxSide)
        return {};
    QImage image = reader.read();
    if (image.width() > StationLogo::kMaxSide || image.height() > StationLogo::kMaxSide)
        image =
            image.scaled(StationLogo::kMaxSide, StationLogo::kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

StationLogo::StationLogo(Transfer *transfer, std::function<QUrl()> directoryBase, const QString &programFolder,
                         QObject *parent)
    : QObject(parent)
    , m_transfer(transfer)
    , m_directoryBase(std::move(directoryBase))
    , m_folder(QDir(programFolder).filePath(QLatin1String(kFolder)))
{ }

QUrl StationLogo::logoUrl(const QUrl &directoryBase, const QString &streamUrl)
{
    return directoryBase.resolved(
        QUrl(QStringLiteral("radio/inter/logo/") + basMD5(streamUrl) + QStringLiteral(".png")));
}

void StationLogo::setStation(const QString &streamUrl)
{
    if (streamUrl == m_station)
        return;
    m_station = streamUrl;
    if (m_request)
        m_transfer->abort(m_request);
    m_request = 0;
    const bool had = !m_image.isNull();
    m_image = {};
    m_file.clear();
    if (streamUrl.isEmpty()) {
        if (had)
            Q_EMIT changed();
        return;
    }
    m_file = QDir(m_folder).filePath(basMD5(streamUrl) + QStringLiteral(".png"));
    const QFileInfo cached(m_file);
    if (cached.exists() && cached.size() <= kMaxBytes) {
        QFile file(m_file);
        if (file.open(QIODevice::ReadOnly))
            m_image = decode(file.readAll());
    }
    if (had || !m_image.isNull())
        Q_EMIT changed();
    if (!m_image.isNull() && cached.lastModified().daysTo(QDateTime::currentDateTime()) < kFreshDays)
        return;
    if (!m_transfer || !m_directoryBase)
        return;
    m_request = m_transfer->openUrl(logoUrl(m_directoryBase(), streamUrl), this,
                                    [this, streamUrl](const TransferResult &result) {
                                        if (streamUrl != m_station)
                                            return; // another station plays by now
                                        m_request = 0;
                                        if (result.ok() && result.bytes.size() <= kMaxBytes)
                                            store(result.bytes);
                                    });
}

void StationLogo::store(const QByteArray &bytes)
{
    const QImage image = decode(bytes);
    if (image.isNull())
        return;
    // Written as our own PNG, never the bytes as they came.
    QDir().mkpath(m_folder);
    QSaveFile file(m_file);
    if (file.open(QIODevice::WriteOnly) && image.save(&file, "PNG"))
        file.commit();
    else
        file.cancelWriting();
    m_image = image;
    prune();
    Q_EMIT changed();
}

void StationLogo::prune()
{
    QFileInfoList files = QDir(m_folder).entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Time);
    // Newest first: the oldest go once the folder holds more than its bound.
    for (qsizetype i = kMaxCached; i < files.size(); ++i) {
        if (files[i].absoluteFilePath() != QFileInfo(m_file).absoluteFilePath())
            QFile::remove(files[i].absoluteFilePath());
    }
}
