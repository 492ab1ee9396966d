#include "player/MprisService.h"

#include "app/MediaPlayer.h"
#include "app/ProgramIdentity.h"
#include "app/SongTitle.h"
#include "player/CurrentStation.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QUrl>

namespace {

constexpr auto kPlayerInterface = "org.mpris.MediaPlayer2.Player";
// Longer than any stream address, station name or song title a listener meets; names
// and titles come from outside and a client may hand in anything, so both are bounded.
constexpr qsizetype kMaxText = 4096;

QString text(const std::function<QString()> &hook)
{
    return hook ? hook().left(kMaxText) : QString();
}

void run(const std::function<void()> &hook)
{
    if (hook)
        hook();
}

} // namespace

// org.mpris.MediaPlayer2: the application itself.
class MprisRootAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)
public:
    explicit MprisRootAdaptor(MprisService *service)
        : QDBusAbstractAdaptor(service)
        , m_service(service)
    { }
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QLatin1String(kApplicationTitle); }
    QString desktopEntry() const { return QStringLiteral("norvale"); }
    QStringList uriSchemes() const { return {QStringLiteral("http"), QStringLiteral("https")}; }
    QStringList mimeTypes() const
    {
        return {QStringLiteral("audio/mpeg"),
                QStringLiteral("audio/aac"),
                QStringLiteral("audio/aacp"),
                QStringLiteral("audio/ogg"),
                QStringLiteral("application/ogg"),
                QStringLiteral("audio/flac"),
                QStringLiteral("audio/x-mpegurl"),
                QStringLiteral("audio/x-scpls"),
                QStringLiteral("application/vnd.apple.mpegurl")};
    }

public Q_SLOTS:
    void Raise() { m_service->requestRaise(); }
    void Quit() { m_service->requestQuit(); }

private:
    MprisService *m_service;
};

// org.mpris.MediaPlayer2.Player: a live stream, so no seeking, no track list, one rate.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one WRITE setRate)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canStep)
    Q_PROPERTY(bool CanGoPrevious READ canStep)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit MprisPlayerAdaptor(MprisService *service)
        : QDBusAbstractAdaptor(service)
        , m_service(service)
    { }
    QString playbackStatus() const { return m_service->playbackStatus(); }
    double one() const { return 1.0; }
    void setRate(double) { }
    QVariantMap metadata() const { return m_service->metadata(); }
    double volume() const { return m_service->volume(); }
    void setVolume(double volume) { m_service->requestVolume(volume); }
    qlonglong position() const { return 0; }
    bool no() const { return false; }
    bool yes() const { return true; }
    bool canPlay() const { return m_service->canPlay(); }
    bool canStep() const { return m_service->canStep(); }

public Q_SLOTS:
    void Next() { m_service->requestStep(1); }
    void Previous() { m_service->requestStep(-1); }
    void Pause() { m_service->requestPause(); }
    void PlayPause() { m_service->requestPlayPause(); }
    void Stop() { m_service->requestStop(); }
    void Play() { m_service->requestPlay(); }
    void Seek(qlonglong) { }
    void SetPosition(const QDBusObjectPath &, qlonglong) { }
    void OpenUri(const QString &uri) { m_service->requestOpenUri(uri); }

private:
    MprisService *m_service;
};

MprisService::MprisService(MprisHooks hooks, const CurrentStation *station, QObject *parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
    , m_station(station)
{
    // Queued: a path that sets the station one part at a time (the restore, the search)
    // is announced once, as it stands when the path is done.
    connect(station, &CurrentStation::stationChanged, this, &MprisService::publishChanges, Qt::QueuedConnection);
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisService::~MprisService()
{
    if (isRegistered()) {
        m_bus.unregisterService(m_serviceName);
        m_bus.unregisterObject(QLatin1String(kObjectPath));
    }
}

bool MprisService::registerOn(const QDBusConnection &bus)
{
    if (isRegistered() || !bus.isConnected())
        return false;
    m_bus = bus;
    if (!m_bus.registerObject(QLatin1String(kObjectPath), this, QDBusConnection::ExportAdaptors))
        return false;
    const QString name = QLatin1String(kServiceName);
    const QString instanceName =
        name + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
    for (const QString &candidate : {name, instanceName}) {
        if (m_bus.registerService(candidate)) {
            m_serviceName = candidate;
            m_published = playerProperties();
            return true;
        }
    }
    m_bus.unregisterObject(QLatin1String(kObjectPath));
    return false;
}

void MprisService::setNowPlayingLine(const QString &line)
{
    m_nowPlayingLine = line;
    publishChanges();
}

QString MprisService::playbackStatus() const
{
    switch (m_hooks.playState ? m_hooks.playState() : PlayState::Undefined) {
    case PlayState::Stopped:
    case PlayState::Ready:
    case PlayState::Undefined:
        return QStringLiteral("Stopped");
    case PlayState::Paused:
        return QStringLiteral("Paused");
    default:
        // Connecting, reconnecting and a stalled stream count as playing, as the window's
        // button then offers "Stop": a client's play/pause key stops them as it does.
        return QStringLiteral("Playing");
    }
}

QVariantMap MprisService::metadata() const
{
    const QString url = text(m_hooks.streamUrl);
    const QString station = m_station->name().left(kMaxText);
    const QString song = text(m_hooks.songTitle);
    // Before any station (or after the media was closed) there is no track to describe.
    if (url.isEmpty())
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};

    const QString key = url + QLatin1Char('\n') + station + QLatin1Char('\n') + song;
    if (key != m_trackKey) {
        m_trackKey = key;
        ++m_trackNumber;
    }
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/norvale/track/")
                                                   + QString::number(m_trackNumber))));
    // Without a song the title is the station, never the song of a station before.
    const SongParts parts = splitSongTitle(song);
    map.insert(QStringLiteral("xesam:title"), parts.title.isEmpty() ? station : parts.title);
    if (!parts.artist.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), QStringList {parts.artist});
    map.insert(QStringLiteral("xesam:album"), station);
    map.insert(QStringLiteral("xesam:url"), url);
    if (const QString art = text(m_hooks.artFile); !art.isEmpty())
        map.insert(QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(art).toString());
    if (!m_nowPlayingLine.isEmpty())
        map.insert(QStringLiteral("xesam:comment"), QStringList {m_nowPlayingLine});
    return map;
}

double MprisService::volume() const
{
    return m_hooks.volume ? qBound(0, m_hooks.volume(), 100) / 100.0 : 0.0;
}

bool MprisService::canPlay() const
{
    return !text(m_hooks.streamUrl).isEmpty();
}

bool MprisService::canStep() const
{
    return m_hooks.canStep && m_hooks.canStep();
}

void MprisService::requestStep(int step)
{
    if (canStep() && m_hooks.stepFavourite)
        m_hooks.stepFavourite(step);
}

void MprisService::requestVolume(double volume)
{
    // Values above 1 would amplify, which the player does not do; NaN reads as silence.
    const int percent = volume > 0 ? qRound(qMin(volume, 1.0) * 100) : 0;
    if (m_hooks.setVolume)
        m_hooks.setVolume(percent);
    publishChanges();
}

void MprisService::requestPlay()
{
    if (canPlay())
        run(m_hooks.play);
}

void MprisService::requestPause()
{
    // A live stream cannot be held; pausing it stops it, as the window's own button does.
    if (playbackStatus() == QLatin1String("Playing"))
        run(m_hooks.stop);
}

void MprisService::requestStop()
{
    run(m_hooks.stop);
}

void MprisService::requestPlayPause()
{
    if (canPlay())
        run(m_hooks.playPause);
}

bool MprisService::requestOpenUri(const QString &uri)
{
    // A client asking over the bus learns why nothing happened.
    const auto refuse = [this] {
        if (calledFromDBus())
            sendErrorReply(QDBusError::NotSupported, QStringLiteral("Only http and https stream addresses are played"));
        return false;
    };
    if (uri.size() > kMaxText)
        return refuse();
    const QUrl url(uri, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return refuse();
    if (m_hooks.openUri)
        m_hooks.openUri(uri);
    return true;
}

void MprisService::requestRaise()
{
    run(m_hooks.raise);
}

void MprisService::requestQuit()
{
    run(m_hooks.quit);
}

QVariantMap MprisService::playerProperties() const
{
    return {{QStringLiteral("PlaybackStatus"), playbackStatus()},
            {QStringLiteral("Metadata"), metadata()},
            {QStringLiteral("Volume"), volume()},
            {QStringLiteral("CanPlay"), canPlay()},
            {QStringLiteral("CanPause"), canPlay()},
            {QStringLiteral("CanGoNext"), canStep()},
            {QStringLiteral("CanGoPrevious"), canStep()}};
}

void MprisService::publishChanges()
{
    if (!isRegistered())
        return;
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_published.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_published = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

#include "MprisService.moc"
