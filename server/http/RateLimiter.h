#pragma once

// A token bucket per client (an IPv4 address or an IPv6 /64): a client may send `capacity`
// reports at once and then one every 60 / perMinute seconds. Called from all serving threads.

#include <QHash>
#include <QString>
#include <functional>
#include <mutex>

class RateLimiter final
{
public:
    using Clock = std::function<qint64()>; // milliseconds, monotonic

    RateLimiter(int capacity, int perMinute, Clock clock = {});

    // Takes one token for this client; false (and nothing taken) when none is left.
    bool allow(const QString &client);

private:
    // Credit in 1/60000 of a token, so that a refill of perMinute units per millisecond
    // is exact: no rounding decides whether a client may report.
    struct Bucket
    {
        qint64 credit = 0;
        qint64 at = 0;
    };
    static constexpr qint64 kUnit = 60000;

    qint64 refill(Bucket &bucket, qint64 now) const;

    const qint64 m_capacity; // in credit units
    const qint64 m_perMinute;
    Clock m_clock;
    std::mutex m_mutex;
    QHash<QString, Bucket> m_buckets;
    qsizetype m_pruneAbove; // table size that starts the next pass over it
};
