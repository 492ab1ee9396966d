#pragma once

#include <QList>
#include <optional>

// When a stream that ended without the user asking for it (a radio source dropping out, a
// server restarting) is tried again, and when it counts as gone. It keeps no timer: the
// caller passes the time, in milliseconds of any steady clock, and waits itself.
class ReconnectSchedule final
{
public:
    struct Policy
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

    const Policy &policy() const { return m_policy; }
    void setPolicy(const Policy &policy) { m_policy = policy; }

    // The user chose, started or stopped the stream: a fresh set of attempts for a stream
    // that has not played yet.
    void restart();
    // A new connection is on its way (an attempt, or a playlist's next address).
    void opening() { m_playingSince.reset(); }
    // Audio flows.
    void playing(qint64 nowMs);
    // The stream ended on its own: when the next attempt is due, or nothing when the stream
    // counts as gone.
    std::optional<qint64> ended(qint64 nowMs);
    // Attempts made since the stream was chosen or last played well.
    int attempts() const { return m_attempt; }

private:
    Policy m_policy;
    int m_attempt = 0;
    bool m_hasPlayed = false;
    std::optional<qint64> m_goneSince;
    std::optional<qint64> m_playingSince;
};
