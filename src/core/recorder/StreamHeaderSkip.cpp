#include "recorder/StreamHeaderSkip.h"

QByteArrayView StreamHeaderSkip::take(QByteArrayView chunk)
{
    if (!m_inHeader)
        return chunk;
    const qsizetype room = kKeptHeader - m_kept.size();
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        const char c = chunk[i];
        // m_matched is the longest tail of the scanned bytes that begins the marker; a CR
        // after CR LF continues it, any other CR starts it afresh.
        if (c == '\r')
            m_matched = m_matched == 2 ? 3 : 1;
        else if (c == '\n' && (m_matched == 1 || m_matched == 3))
            ++m_matched;
        else
            m_matched = 0;
        if (m_matched == 4) {
            m_inHeader = false;
            m_matched = 0;
            m_headerLoc = i - 2; // i - 3, counted from 1
            m_kept.append(chunk.first(qMin(i + 1, room)));
            return chunk.sliced(i + 1);
        }
    }
    m_kept.append(chunk.first(qMin(chunk.size(), room)));
    return {};
}
