#pragma once

#include "app/MediaPlayer.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>
#include <atomic>
#include <utility>

struct mpv_handle;
struct mpv_event;

// The stream player over libmpv.
//
// libmpv refuses to start under a numeric locale other than "C", and QApplication sets
// the locale from the environment: the program calls setlocale(LC_NUMERIC, "C") right
// after constructing QApplication. The constructor does it again in case it was missed,
// and fixes malloc's mmap threshold for the process (see there).
//
// Engine events reach this object on its own thread: the wakeup callback only posts a
// queued call, and the destructor unhooks the callback before the engine goes away.
//
// A stream that ends without the user asking for it (a radio source dropping out, a
// server restarting) is loaded again after growing pauses; only a stream that stays
// gone for the whole reconnect policy raises error().
class MpvPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    enum class InitError {
        None,
        CreateFailed, // mpv_create() returned nothing (often a non-C numeric locale)
        InitializeFailed, // mpv_initialize() refused the options
    };

    struct ReconnectPolicy
    {
        // Pause before each new attempt; its length is the number of attempts.
        QList<int> delaysMs {500, 1000, 2000, 4000, 8000, 8000, 8000};
        // No new attempt starts once the stream has been gone this long.
        int windowMs = 45000;
        // A stream that played this long before it ended earns a fresh set of attempts.
        int stableMs = 10000;
        // A station that has not played at all since it was chosen gets only this many
        // attempts: a wrong address should not keep the user waiting half a minute.
        int openAttempts = 3;
    };

    // Status texts; callers with a language file pass their own.
    struct Texts
    {
        QString ready = QStringLiteral("Ready");
        QString stopped = QStringLiteral("Stopped");
        QString paused = QStringLiteral("Paused");
        QString connecting = QStringLiteral("Connecting…");
        QString reconnecting = QStringLiteral("Reconnecting…");
        QString buffering = QStringLiteral("Buffering…");
        QString bufferingPercent = QStringLiteral("Buffering %1%"); // %1: 0..100
        QString playing = QStringLiteral("Playing");
        QString playingTitle = QStringLiteral("Playing: %1"); // %1: the stream's title
        QString failed = QStringLiteral("Stream not available");
    };

    // options: "key=value,key=value" applied after the built-in settings (a comma inside
    // a value is written "\,"); the program passes the NORVALE_MPV_OPTIONS environment
    // variable here. Entries from a remote playlist that point at local files or
    // devices stay refused whatever the options say ("load-unsafe-playlists" is kept off).
    explicit MpvPlayer(const QString &options = {}, QObject *parent = nullptr);
    ~MpvPlayer() override;

    bool isValid() const { return m_mpv != nullptr; }
    InitError initError() const { return m_initError; }
    QString startError() const override { return m_startError; }
    // Entries of the options text the engine refused, as "key=value".
    QStringList rejectedOptions() const { return m_rejectedOptions; }

    void setReconnectPolicy(const ReconnectPolicy &policy) { m_policy = policy; }
    ReconnectPolicy reconnectPolicy() const { return m_policy; }
    // Whether another attempt is due: after the user's stop or the last attempt, none is.
    bool isReconnectPending() const { return m_reconnectTimer.isActive(); }
    void setTexts(const Texts &texts);

    // Reads any engine property, for diagnostics and tests; invalid when unknown.
    QVariant engineProperty(const QString &name) const;

    void setUrl(const QString &url) override;
    QString url() const override { return m_url; }
    int playState() const override { return m_state; }
    QString status() const override { return m_status; }
    QString mediaTitle() const override { return m_title; }

    void play() override;
    void stop() override;
    void close() override;

    void setVolume(int volume) override;
    int volume() const override { return m_volume; }
    void setMute(bool mute) override;
    bool mute() const override { return m_mute; }
    void setVisualisation(bool on) override;
    QList<float> bandLevels() const override;
    // The audio filter that measures the bands: split off a mono copy, band-pass it into
    // kBands channels, merge them behind the stereo pair and let astats publish their
    // levels; the pan at the end passes only the stereo pair on, so what is heard is
    // untouched and switching the filter does not interrupt the stream.
    static QString visualisationFilter();
    static constexpr int kBands = 8;

    static QList<std::pair<QString, QString>> parseOptions(const QString &options);
    // The song a stream announces in its tags: ICY title first, then artist and title.
    static QString titleFromTags(const QVariantMap &tags);

private:
    enum class Phase {
        Idle, // nothing loaded
        Opening, // loadfile issued, no audio yet
        Waiting, // between reconnect attempts
        Running, // audio is playing or paused
    };

    static void wakeup(void *context);
    void drainEvents();
    void handleEvent(const mpv_event &event);
    void load();
    void streamEnded();
    void unload();
    void publish();
    qint64 nextEntryAfter(qint64 entryId) const;

    mpv_handle *m_mpv = nullptr;
    InitError m_initError = InitError::None;
    QString m_startError;
    QStringList m_rejectedOptions;
    std::atomic_bool m_wakeupPosted {false};

    ReconnectPolicy m_policy;
    Texts m_texts;
    QTimer m_reconnectTimer;
    QElapsedTimer m_goneSince;
    QElapsedTimer m_playingSince;
    int m_attempt = 0;

    QString m_url;
    bool m_wanted = false; // the user asked for playback and has not stopped it
    bool m_hasPlayed = false; // since the user last chose or started the stream
    bool m_failed = false; // the last stream stayed gone
    bool m_errorPending = false;
    Phase m_phase = Phase::Idle;
    qint64 m_entryId = 0; // the engine's playlist entry we are playing
    bool m_paused = false;
    bool m_pausedForCache = false;
    int m_cachePercent = -1;
    QString m_title;
    int m_volume = 50;
    bool m_mute = false;
    bool m_visualisation = false; // the measuring filter is in the chain

    // What the last signals announced.
    int m_state = PlayState::Ready;
    QString m_status;
    // The title last announced: one that comes while buffering changes no status text.
    QString m_publishedTitle;
    bool m_buffering = false;
};
