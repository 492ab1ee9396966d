#pragma once

#include "app/PlayState.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class CurrentStation;

// What the media-player service reads from the main window and asks of it. Every
// hook may be left empty: a missing getter reads as nothing, a missing action does nothing.
struct MprisHooks
{
    std::function<PlayState()> playState;
    std::function<QString()> songTitle; // the stream's current title, empty when it sends none
    std::function<QString()> streamUrl; // empty: no station to describe or to play
    std::function<int()> volume; // 0..100

    std::function<void()> play;
    std::function<void()> stop;
    std::function<void()> playPause;
    std::function<void(const QString &url)> openUri; // an http(s) URL, checked already
    std::function<void(int volume)> setVolume; // 0..100
    std::function<void()> raise;
    std::function<void()> quit;
    // Next and Previous: step through the favourites (+1 or -1); the step is possible
    // while canStep says so.
    std::function<void(int step)> stepFavourite;
    std::function<bool()> canStep;
    std::function<QString()> artFile; // the station's logo as a local file, empty for none
};

// The player as desktop widgets, media keys and playerctl see it: MPRIS2 at
// /org/mpris/MediaPlayer2 under "org.mpris.MediaPlayer2.norvale". Property reads go
// to the hooks and the station each time; the service follows the station itself, the
// window tells it of the player's changes, and the service announces only what really
// differs from what it announced last.
class MprisService final
    : public QObject
    , protected QDBusContext
{
    Q_OBJECT
public:
    static constexpr auto kServiceName = "org.mpris.MediaPlayer2.norvale";
    static constexpr auto kObjectPath = "/org/mpris/MediaPlayer2";

    // station must outlive the service.
    MprisService(MprisHooks hooks, const CurrentStation *station, QObject *parent = nullptr);
    ~MprisService() override;

    // Publishes the service; false (and nothing published) without a usable bus. When
    // the name is held by another process the service takes a per-process instance name.
    bool registerOn(const QDBusConnection &bus = QDBusConnection::sessionBus());
    bool isRegistered() const { return !m_serviceName.isEmpty(); }
    QString serviceName() const { return m_serviceName; }

    // Calls the window makes when something it shows changed; any of them may be
    // called freely, an unchanged value sends nothing.
    void titleChanged() { publishChanges(); }
    void artChanged() { publishChanges(); }
    void stateChanged() { publishChanges(); }
    void volumeChanged() { publishChanges(); }
    // The messenger line (SendNowPlaying), shown as the track's comment.
    void setNowPlayingLine(const QString &line);

    // What the service reports; the D-Bus adaptors read these.
    QString playbackStatus() const;
    QVariantMap metadata() const;
    double volume() const;
    bool canPlay() const;
    bool canStep() const;

    // Client requests; the adaptors call these.
    void requestVolume(double volume);
    void requestPlay();
    void requestPause();
    void requestStop();
    void requestPlayPause();
    // False, and an error reply to a bus caller, for anything but an http(s) URL.
    bool requestOpenUri(const QString &uri);
    void requestRaise();
    void requestStep(int step);
    void requestQuit();

private:
    void publishChanges();
    QVariantMap playerProperties() const;

    MprisHooks m_hooks;
    const CurrentStation *m_station;
    QDBusConnection m_bus {QString()};
    QString m_serviceName;
    QString m_nowPlayingLine;
    QVariantMap m_published; // the Player properties as last announced
    // The track id changes with the station or the song, as clients expect of a new track.
    mutable QString m_trackKey;
    mutable quint64 m_trackNumber = 0;
};
