#include "http/RateLimiter.h"

#include "http/ClientAddress.h"

#include <QElapsedTimer>
#include <algorithm>

namespace {
// Past this many clients the full (idle) buckets are dropped: a full bucket is the same
// as no bucket, so memory stays bounded without changing any answer.
constexpr qsizetype kPruneAbove = 10000;

} // namespace

RateLimiter::RateLimiter(int capacity, int perMinute, Clock clock)
    : m_capacity(qint64(std::max(1, capacity)) * kUnit)
    , m_perMinute(std::max(0, perMinute))
    , m_clock(std::move(clock))
    , m_pruneAbove(kPruneAbove)
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer] {
            return timer->elapsed();
        };
    }
}

qint64 RateLimiter::refill(Bucket &bucket, qint64 now) const
{
    const qint64 elapsed = std::max<qint64>(0, now - bucket.at);
    // Capped before multiplying: a bucket idle for years must not overflow.
    bucket.credit = std::min(m_capacity, bucket.credit + std::min(elapsed, m_capacity) * m_perMinute);
    bucket.at = now;
    return bucket.credit;
}

bool RateLimiter::allow(const QString &client)
{
    const QString key = clientKeyOf(client);
    const qint64 now = m_clock();
    std::lock_guard lock(m_mutex);
    if (m_buckets.size() > m_pruneAbove) {
        for (auto it = m_buckets.begin(); it != m_buckets.end();) {
            if (refill(it.value(), now) >= m_capacity)
                it = m_buckets.erase(it);
            else
                ++it;
        }
        // While many clients are busy at once, the next pass waits for the table to double:
        // a pass on every report would scan the whole table under the lock each time.
        m_pruneAbove = std::max(kPruneAbove, 2 * m_buckets.size());
    }
    auto it = m_buckets.find(key);
    if (it == m_buckets.end())
        it = m_buckets.insert(key, Bucket {m_capacity, now});
    if (refill(it.value(), now) < kUnit)
        return false;
    it->credit -= kUnit;
    return true;
}
