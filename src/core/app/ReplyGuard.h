#pragma once

#include "app/Transfer.h"

#include <optional>

// One request at a time whose reply counts only while it is still the one waited for:
// asking again or giving up makes any older reply stale, and a stale reply is dropped
// before it reaches the caller. The guard must not outlive the transfer it last used;
// it lives beside the context object it passes, so a reply cannot reach a dead guard.
class ReplyGuard final
{
public:
    ReplyGuard() = default;
    ReplyGuard(const ReplyGuard &) = delete;
    ReplyGuard &operator=(const ReplyGuard &) = delete;
    ~ReplyGuard() { abandon(); }

    // Gives up any request still waited for, then asks this one. done runs at most once,
    // with the guard no longer waiting, and only while no later open() or abandon() came.
    void open(Transfer *transfer, const QUrl &url, QObject *context, Transfer::Callback done);
    // Aborts the request waited for, if any; its reply, should it still come, is dropped.
    void abandon();
    bool waiting() const { return m_waiting; }

private:
    Transfer *m_transfer = nullptr;
    std::optional<quint64> m_requestId; // unset while openUrl has not returned yet
    quint64 m_generation = 0;
    bool m_waiting = false;
};
