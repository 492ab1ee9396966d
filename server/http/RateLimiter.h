#pragma once

// A token bucket per client address: a client may send `capacity` reports at once and
// then one every 60 / perMinute seconds. Called from all serving threads.

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
    struct Bucket
    {
        double tokens = 0;
        qint64 at = 0;
    };

    double refill(Bucket &bucket, qint64 now) const;

    const double m_capacity;
    const double m_perMillisecond;
    Clock m_clock;
    std::mutex m_mutex;
    QHash<QString, Bucket> m_buckets;
};
