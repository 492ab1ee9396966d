#pragma once

#include "app/MediaPlayer.h"

#include <QStringList>

// A media player for unit tests. It records every command as a line of calls():
//   "setUrl <url>", "play", "stop", "close", "volume <n>", "mute true|false"
// and changes nothing else by itself. Tests drive it with script() (sets state and
// status, then raises statusChanged).
class FakeMediaPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    explicit FakeMediaPlayer(QObject *parent = nullptr);

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

    const QStringList &calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    void emitError() { Q_EMIT error(); }

    // Sets state and status and raises statusChanged(), as the real player does.
    void script(PlayState state, const QString &status);

private:
    QStringList m_calls;
    QString m_url;
    PlayState m_state = PlayState::Ready;
    QString m_status = QStringLiteral("Ready");
    QString m_title;
    int m_volume = 50;
    bool m_mute = false;
};
