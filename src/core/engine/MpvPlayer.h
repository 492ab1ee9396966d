#pragma once

#include "app/MediaPlayer.h"
#include "engine/EngineVisualisation.h"
#include "engine/PlayerStatus.h"
#include "engine/ReconnectSchedule.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>
#include <atomic>

struct mpv_handle;
struct mpv_event;

// The stream player over libmpv.
//
// libmpv refuses to start under a numeric locale other than "C", and QApplication sets
// the locale from the environment: a program that plays calls setlocale(LC_NUMERIC, "C")
// right after constructing its application object (initError() is CreateFailed otherwise).
//
// Engine events reach this object on its own thread: the wakeup callback only posts a
// queued call, and the destructor unhooks the callback before the engine goes away.
//
// A stream that ends without the user asking for it is loaded again after the pauses of
// its ReconnectSchedule; only a stream that stays gone for the whole policy raises error().
class MpvPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    enum class InitError {
        None,
        CreateFailed, // mpv_create() returned nothing (often a non-C numeric locale)
        InitializeFailed, // mpv_initialize() refused the options
    };

    using ReconnectPolicy = ReconnectSchedule::Policy;
    using Texts = PlayerTexts;

    // options: applied after the built-in settings, as EngineOptions describes.
    explicit MpvPlayer(const QString &options = {}, QObject *parent = nullptr);
    ~MpvPlayer() override;

    bool isValid() const { return m_mpv != nullptr; }
    InitError initError() const { return m_initError; }
    QString startError() const override { return m_startError; }
    // Entries of the options text the engine refused, as "key=value".
    QStringList rejectedOptions() const { return m_rejectedOptions; }

    void setReconnectPolicy(const ReconnectPolicy &policy) { m_schedule.setPolicy(policy); }
    ReconnectPolicy reconnectPolicy() const { return m_schedule.policy(); }
    // Whether another attempt is due: after the user's stop or the last attempt, none is.
    bool isReconnectPending() const { return m_reconnectTimer.isActive(); }
    void setTexts(const Texts &texts);

    // Reads any engine property, for diagnostics and tests; invalid when unknown.
    QVariant engineProperty(const QString &name) const;

    void setUrl(const QString &url) override;
    QString url() const override { return m_url; }
    PlayState playState() const override { return m_state; }
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

    // The song a stream announces in its tags: ICY title first, then artist and title.
    static QString titleFromTags(const QVariantMap &tags);

private:
    using Phase = PlayerPhase;

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

    ReconnectSchedule m_schedule;
    QElapsedTimer m_clock; // the schedule's time
    QTimer m_reconnectTimer;
    Texts m_texts;

    QString m_url;
    bool m_wanted = false; // the user asked for playback and has not stopped it
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
    EngineVisualisation m_visualisation;

    // What the last signals announced.
    PlayState m_state = PlayState::Ready;
    QString m_status;
    // The title last announced: one that comes while buffering changes no status text.
    QString m_publishedTitle;
    bool m_buffering = false;
};
