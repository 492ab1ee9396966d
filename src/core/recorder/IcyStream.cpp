#include "recorder/IcyStream.h"

#include "app/TextCodec.h"

IcyHeader IcyHeader::parse(QByteArrayView header)
{
    IcyHeader result;
    const QList<QByteArray> lines = header.toByteArray().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (i == 0) {
            result.statusLine = line;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (key == "icy-name")
            result.name = decodeUtf8OrWindows1252(value).simplified();
        else if (key == "content-type")
            result.contentType = QString::fromLatin1(value.split(';').first().trimmed().toLower());
        else if (key == "icy-metaint")
            result.metaint = qMax(0LL, value.toLongLong());
    }
    return result;
}

bool IcyHeader::isOk() const
{
    const QList<QByteArray> parts = statusLine.split(' ');
    return parts.size() >= 2 && parts.at(1) == "200";
}

IcyDemuxer::IcyDemuxer(qint64 metaint)
    : m_metaint(metaint)
    , m_untilBlock(metaint)
{
    if (metaint <= 0 || metaint > kMaxMetaint)
        m_fault = Fault::BadInterval;
}

bool IcyDemuxer::feed(QByteArrayView in, QByteArray &audio, QList<TitleChange> &titles)
{
    qsizetype at = 0;
    while (m_fault == Fault::None && at < in.size()) {
        if (m_blockLeft < 0 && m_untilBlock > 0) {
            const qsizetype n = qMin<qint64>(m_untilBlock, in.size() - at);
            audio.append(in.sliced(at, n));
            at += n;
            m_untilBlock -= n;
            m_position += n;
        } else if (m_blockLeft < 0) {
            m_blockLeft = quint8(in[at++]) * 16;
            m_block.clear();
        } else {
            const qsizetype n = qMin<qsizetype>(m_blockLeft, in.size() - at);
            m_block.append(in.sliced(at, n));
            at += n;
            m_blockLeft -= int(n);
        }
        if (m_blockLeft == 0 && !takeBlock(titles))
            m_fault = Fault::UnendedTitle;
    }
    return m_fault == Fault::None;
}

bool IcyDemuxer::takeBlock(QList<TitleChange> &titles)
{
    m_blockLeft = -1;
    m_untilBlock = m_metaint;
    const bool first = std::exchange(m_firstBlock, false);
    // The text is padded to whole 16-byte units with NULs.
    QByteArrayView text(m_block);
    while (!text.isEmpty() && text.back() == '\0')
        text.chop(1);
    static constexpr QByteArrayView kStart {"StreamTitle='"};
    const qsizetype start = text.indexOf(kStart);
    if (start < 0) {
        if (first)
            titles.append(TitleChange {m_position, {}});
        return true;
    }
    const QByteArrayView rest = text.sliced(start + kStart.size());
    // A title may hold apostrophes ("Guns N' Roses"); it ends at "';", or at a last
    // quote that closes the block.
    qsizetype end = rest.indexOf("';");
    if (end < 0 && rest.endsWith('\''))
        end = rest.size() - 1;
    if (end < 0)
        return false;
    const QByteArray title = rest.first(end).toByteArray();
    if (first || title != m_lastTitle)
        titles.append(TitleChange {m_position, title});
    m_lastTitle = title;
    return true;
}
