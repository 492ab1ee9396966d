#include "support/FakeMediaPlayer.h"

FakeMediaPlayer::FakeMediaPlayer(QObject *parent)
    : MediaPlayer(parent)
{ }

void FakeMediaPlayer::setUrl(const QString &url)
{
    m_calls.append(QStringLiteral("setUrl ") + url);
    m_url = url;
}

void FakeMediaPlayer::play()
{
    m_calls.append(QStringLiteral("play"));
}

void FakeMediaPlayer::stop()
{
    m_calls.append(QStringLiteral("stop"));
}

void FakeMediaPlayer::close()
{
    m_calls.append(QStringLiteral("close"));
    m_url.clear();
}

void FakeMediaPlayer::setVolume(int volume)
{
    m_calls.append(QStringLiteral("volume %1").arg(volume));
    m_volume = qBound(0, volume, 100);
}

void FakeMediaPlayer::setMute(bool mute)
{
    m_calls.append(mute ? QStringLiteral("mute true") : QStringLiteral("mute false"));
    m_mute = mute;
}

void FakeMediaPlayer::script(PlayState state, const QString &status)
{
    m_state = state;
    m_status = status;
    Q_EMIT statusChanged();
}
