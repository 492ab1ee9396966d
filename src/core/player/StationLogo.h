#pragma once

#include <QImage>
#include <QObject>
#include <QUrl>
#include <functional>

class Transfer;

// The playing station's logo from the directory server (radio/inter/logo/<MD5 of the
// stream address>.png), kept as a PNG file in a bounded cache folder of the program
// folder so that desktop clients can be handed a file. Nothing waits for it: a cached
// logo shows at once, a missing one is fetched in the background, and a reply for a
// station that is no longer playing is dropped.
class StationLogo final : public QObject
{
    Q_OBJECT
public:
    static constexpr auto kFolder = "logos";
    static constexpr int kMaxCached = 200;
    static constexpr int kMaxSide = 128; // what the directory serves; larger is scaled down
    static constexpr qint64 kMaxBytes = 512 * 1024;
    static constexpr int kFreshDays = 7; // a cached logo older than this is fetched again

    StationLogo(Transfer *transfer, std::function<QUrl()> directoryBase, const QString &programFolder,
                QObject *parent = nullptr);

    // The stream now playing; empty for none.
    void setStation(const QString &streamUrl);
    // The logo of the current station and its cached file; null/empty while there is none.
    const QImage &image() const { return m_image; }
    QString filePath() const { return m_image.isNull() ? QString() : m_file; }

    static QUrl logoUrl(const QUrl &directoryBase, const QString &streamUrl);

Q_SIGNALS:
    // The current station's logo appeared or went (image() and filePath() tell which).
    void changed();

private:
    void store(const QByteArray &bytes);
    void prune();

    Transfer *m_transfer;
    std::function<QUrl()> m_directoryBase;
    QString m_folder;
    QString m_station;
    QString m_file;
    QImage m_image;
    quint64 m_request = 0;
};
