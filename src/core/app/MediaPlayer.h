#pragma once

#include "app/PlayState.h"

#include <QList>
#include <QObject>
#include <QString>

// The one stream player of the program. Writing a URL opens it and starts playing;
// every change of status text or play state raises statusChanged().
class MediaPlayer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~MediaPlayer() override = default;

    virtual void setUrl(const QString &url) = 0;
    virtual QString url() const = 0;
    virtual PlayState playState() const = 0;
    // Short and human, naming the current song when the stream sends one.
    virtual QString status() const = 0;
    // The stream's own current title (ICY), empty when it sends none.
    virtual QString mediaTitle() const = 0;

    virtual void play() = 0;
    virtual void stop() = 0;
    // Stops and releases the media; url() is empty until the next setUrl().
    virtual void close() = 0;

    virtual void setVolume(int volume) = 0; // 0..100
    virtual int volume() const = 0;
    virtual void setMute(bool mute) = 0; // keeps the volume
    virtual bool mute() const = 0;

    // Measuring the sound for the window's picture of it costs a little work per block
    // of audio, so it runs only while that picture is shown. A player that cannot
    // measure gives no levels.
    virtual void setVisualisation(bool on) { Q_UNUSED(on) }
    // Levels of the frequency bands in dB, lowest band first; empty while not measured.
    virtual QList<float> bandLevels() const { return {}; }
    // Why the playback engine cannot play anything (it did not start, or it went away);
    // empty while it works. Checked once after construction; engineFailed() announces a
    // later loss.
    virtual QString startError() const { return {}; }

Q_SIGNALS:
    // The state, the status text or the song title changed.
    void statusChanged();
    void buffering(bool start);
    // The stream could not be played: it stayed gone, or its address was refused (only
    // http and https addresses are played).
    void error();
    // The engine stopped working after it had started; startError() says why.
    void engineFailed();
};
