#include "engine/ReconnectSchedule.h"

void ReconnectSchedule::restart()
{
    m_attempt = 0;
    m_hasPlayed = false;
    m_goneSince.reset();
    m_playingSince.reset();
}

void ReconnectSchedule::playing(qint64 nowMs)
{
    m_hasPlayed = true;
    m_playingSince = nowMs;
}

std::optional<qint64> ReconnectSchedule::ended(qint64 nowMs)
{
    if (m_playingSince && nowMs - *m_playingSince >= m_policy.stableMs) {
        m_attempt = 0;
        m_goneSince.reset();
    }
    m_playingSince.reset();
    if (!m_goneSince)
        m_goneSince = nowMs;
    const qsizetype attempts =
        m_hasPlayed ? m_policy.delaysMs.size() : qMin(m_policy.delaysMs.size(), qsizetype(m_policy.openAttempts));
    if (m_attempt >= attempts || nowMs - *m_goneSince >= m_policy.windowMs)
        return std::nullopt;
    return nowMs + qMax(0, m_policy.delaysMs.at(m_attempt++));
}
