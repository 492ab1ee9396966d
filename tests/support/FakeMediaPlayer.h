#pragma once

#include "app/MediaPlayer.h"

#include <QStringList>

// A media player for unit tests. It records every command as a line of calls():
//   "setUrl <url>", "play", "stop", "close", "volume <n>", "mute true|false"
// and changes nothing else by itself; script() sets state and status, then raises
// statusChanged as the real player does.
class FakeMediaPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    explicit FakeMediaPlayer(QObject *parent = nullptr)
        : MediaPlayer(parent)
    { }

    void setUrl(const QString &url) override { m_calls << QStringLiteral("setUrl ") + (m_url = url); }
    QString url() const override { return m_url; }
    PlayState playState() const override { return m_state; }
    QString status() const override { return m_status; }
    QString mediaTitle() const override { return m_title; }
    void play() override { m_calls << QStringLiteral("play"); }
    void stop() override { m_calls << QStringLiteral("stop"); }
    void close() override
    {
        m_calls << QStringLiteral("close");
        m_url.clear();
    }
    void setVolume(int volume) override
    {
        m_calls << QStringLiteral("volume %1").arg(volume);
        m_volume = qBound(0, volume, 100);
    }
    int volume() const override { return m_volume; }
    void setMute(bool mute) override
    {
        m_calls << QStringLiteral("mute ") + QLatin1String((m_mute = mute) ? "true" : "false");
    }
    bool mute() const override { return m_mute; }

    const QStringList &calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    void emitError() { Q_EMIT error(); }
    void script(PlayState state, const QString &status)
    {
        m_state = state;
        m_status = status;
        Q_EMIT statusChanged();
    }

private:
    QStringList m_calls;
    QString m_url;
    PlayState m_state = PlayState::Ready;
    QString m_status = QStringLiteral("Ready");
    QString m_title;
    int m_volume = 50;
    bool m_mute = false;
};
