#include "app/ReplyGuard.h"

void ReplyGuard::open(Transfer *transfer, const QUrl &url, QObject *context, Transfer::Callback done)
{
    abandon();
    const quint64 generation = ++m_generation;
    m_transfer = transfer;
    m_waiting = true;
    const quint64 id =
        transfer->openUrl(url, context, [this, generation, done = std::move(done)](const TransferResult &result) {
            if (generation != m_generation || !m_waiting)
                return;
            m_waiting = false;
            m_requestId.reset();
            done(result);
        });
    // A transfer may answer before openUrl returns; then there is nothing left to abort.
    if (m_waiting && generation == m_generation)
        m_requestId = id;
}

void ReplyGuard::abandon()
{
    if (!m_waiting)
        return;
    ++m_generation;
    m_waiting = false;
    if (m_requestId && m_transfer)
        m_transfer->abort(*m_requestId);
    m_requestId.reset();
}
