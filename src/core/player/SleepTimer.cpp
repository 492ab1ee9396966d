#include "player/SleepTimer.h"

#include <QtGlobal>

SleepTimer::SleepTimer(Hooks hooks, std::chrono::milliseconds second, QObject *parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
    , m_second(second)
{
    // Several steps a second so the fade is smooth and the stop comes on time.
    m_tick.setInterval(std::max<qint64>(1, m_second.count() / 4));
    connect(&m_tick, &QTimer::timeout, this, &SleepTimer::onTick);
}

void SleepTimer::start(int minutes)
{
    if (minutes <= 0) {
        cancel();
        return;
    }
    endFade();
    // Bounded to a day: a larger number is a typing slip, not a plan.
    m_totalMs = qint64(qMin(minutes, 24 * 60)) * 60 * m_second.count();
    m_clock.start();
    m_tick.start();
    Q_EMIT changed(secondsLeft());
}

void SleepTimer::cancel()
{
    const bool wasActive = isActive();
    m_tick.stop();
    endFade();
    if (wasActive)
        Q_EMIT changed(0);
}

int SleepTimer::secondsLeft() const
{
    if (!isActive())
        return 0;
    const qint64 left = qMax<qint64>(0, m_totalMs - m_clock.elapsed());
    return int((left + m_second.count() - 1) / m_second.count());
}

void SleepTimer::onTick()
{
    const qint64 leftMs = m_totalMs - m_clock.elapsed();
    if (leftMs <= 0) {
        m_tick.stop();
        if (m_hooks.stop)
            m_hooks.stop();
        endFade();
        Q_EMIT changed(0);
        Q_EMIT finished();
        return;
    }
    const qint64 fadeMs = kFadeSeconds * m_second.count();
    if (leftMs <= fadeMs && m_hooks.userVolume && m_hooks.setPlayerVolume) {
        m_fading = true;
        m_hooks.setPlayerVolume(int(m_hooks.userVolume() * leftMs / fadeMs));
    }
    const int seconds = secondsLeft();
    Q_EMIT changed(seconds);
}

void SleepTimer::endFade()
{
    if (!m_fading)
        return;
    m_fading = false;
    if (m_hooks.userVolume && m_hooks.setPlayerVolume)
        m_hooks.setPlayerVolume(m_hooks.userVolume());
}
