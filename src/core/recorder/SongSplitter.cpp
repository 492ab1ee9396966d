#include "recorder/SongSplitter.h"

#include "app/TextCodec.h"

namespace {

// Kilobits per second by bitrate index 1..14: MPEG-1 layers I, II, III; MPEG-2/2.5
// layer I; MPEG-2/2.5 layers II and III.
constexpr int kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000}; // MPEG-1; halved for 2, quartered for 2.5

int mp3FrameLength(const uchar *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (h[1] >> 3) & 3; // 0: 2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const int layer = 4 - ((h[1] >> 1) & 3); // 4: reserved
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    // Free-format frames (index 0) carry no length; no station sends them.
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const int bitrate = kBitrates[table][bitrateIndex - 1] * 1000;
    const int rate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    if (layer == 1)
        return (12 * bitrate / rate + padding) * 4;
    return (layer == 3 && !mpeg1 ? 72 : 144) * bitrate / rate + padding;
}

int adtsFrameLength(const uchar *h)
{
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0 || ((h[2] >> 2) & 0xF) > 12)
        return 0;
    const int length = ((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5);
    const int headerBytes = (h[1] & 1) ? 7 : 9; // protection absent: no CRC
    return length > headerBytes ? length : 0;
}

} // namespace

std::optional<AudioCodec> codecForContentType(const QString &contentType)
{
    if (contentType == QLatin1String("audio/mpeg") || contentType == QLatin1String("audio/mp3"))
        return AudioCodec::Mp3;
    if (contentType == QLatin1String("audio/aac") || contentType == QLatin1String("audio/aacp"))
        return AudioCodec::Adts;
    return std::nullopt;
}

int FrameWalker::frameLength(AudioCodec codec, QByteArrayView header)
{
    const auto *h = reinterpret_cast<const uchar *>(header.data());
    if (codec == AudioCodec::Mp3)
        return header.size() >= 4 ? mp3FrameLength(h) : 0;
    return header.size() >= 7 ? adtsFrameLength(h) : 0;
}

quint32 FrameWalker::signature(AudioCodec codec, QByteArrayView header)
{
    const auto *h = reinterpret_cast<const uchar *>(header.data());
    // MPEG: version, layer, protection, sample rate. ADTS: version, layer, protection,
    // profile, sample rate.
    return codec == AudioCodec::Mp3 ? quint32(h[1]) << 8 | (h[2] & 0x0C) : quint32(h[1]) << 8 | (h[2] & 0xFC);
}

qsizetype FrameWalker::findLock(qsizetype from, qsizetype *keep) const
{
    const QByteArrayView buffer(m_buffer);
    const int hs = headerSize();
    for (qsizetype i = from; i < buffer.size(); ++i) {
        if (buffer.size() - i < hs) {
            *keep = i;
            return -1;
        }
        const int length = frameLength(m_codec, buffer.sliced(i));
        if (length == 0)
            continue;
        if (buffer.size() - i < length + hs) {
            *keep = i;
            return -1;
        }
        const QByteArrayView next = buffer.sliced(i + length);
        if (frameLength(m_codec, next) > 0 && signature(m_codec, next) == signature(m_codec, buffer.sliced(i)))
            return i;
    }
    *keep = buffer.size();
    return -2;
}

void FrameWalker::feed(QByteArrayView audio, QList<Frame> &frames)
{
    m_buffer.append(audio);
    qsizetype at = 0;
    for (;;) {
        const QByteArrayView rest = QByteArrayView(m_buffer).sliced(at);
        if (m_locked) {
            if (rest.size() < headerSize())
                break;
            const int length = frameLength(m_codec, rest);
            if (length == 0 || signature(m_codec, rest) != m_signature) {
                m_locked = false;
                continue;
            }
            if (rest.size() < length)
                break;
            frames.append({m_bufferStart + at, rest.first(length).toByteArray()});
            at += length;
            continue;
        }
        qsizetype keep = 0;
        const qsizetype lock = findLock(at, &keep);
        const qsizetype skipTo = lock >= 0 ? lock : keep;
        m_dropped += skipTo - at;
        at = skipTo;
        if (lock < 0)
            break;
        m_locked = true;
        m_signature = signature(m_codec, QByteArrayView(m_buffer).sliced(at));
    }
    m_buffer.remove(0, at);
    m_bufferStart += at;
}

SongSplitter::SongSplitter(AudioCodec codec, qint64 metaint)
    : m_icy(metaint)
    , m_frames(codec)
{ }

bool SongSplitter::feed(QByteArrayView body, QList<Event> &events)
{
    QByteArray audio;
    QList<IcyDemuxer::TitleChange> titles;
    const bool ok = m_icy.feed(body, audio, titles);
    m_pending += titles;
    // The first block names everything before it as well.
    if (!m_inSong && !m_pending.isEmpty())
        apply(m_pending.takeFirst(), events);
    QList<FrameWalker::Frame> frames;
    m_frames.feed(audio, frames);
    for (FrameWalker::Frame &frame : frames) {
        while (!m_pending.isEmpty() && m_pending.first().position <= frame.start)
            apply(m_pending.takeFirst(), events);
        if (!m_inSong) {
            m_held.append(std::move(frame));
            continue;
        }
        if (!events.isEmpty() && events.last().kind == Event::Kind::Audio)
            events.last().bytes += frame.bytes;
        else
            events.append({Event::Kind::Audio, {}, std::move(frame.bytes)});
    }
    return ok;
}

void SongSplitter::apply(const IcyDemuxer::TitleChange &change, QList<Event> &events)
{
    if (m_inSong && change.title == m_title)
        return;
    const bool first = !std::exchange(m_inSong, true);
    m_title = change.title;
    events.append({Event::Kind::Song, decodeStreamTitle(change.title), {}});
    if (first) {
        Event audio {Event::Kind::Audio, {}, {}};
        for (const FrameWalker::Frame &frame : std::as_const(m_held))
            audio.bytes += frame.bytes;
        m_held.clear();
        if (!audio.bytes.isEmpty())
            events.append(std::move(audio));
    }
}

QString decodeStreamTitle(const QByteArray &raw)
{
    QString title = decodeUtf8OrWindows1252(raw);
    for (QChar &c : title) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return title.simplified();
}
