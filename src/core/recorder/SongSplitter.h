#pragma once

#include "recorder/IcyStream.h"

#include <QByteArray>
#include <QList>
#include <QString>

enum class AudioCodec {
    Mp3, // MPEG audio frames (audio/mpeg)
    Adts, // AAC in ADTS frames (audio/aac, audio/aacp)
};

// The codec of a stream's content type, if frames of it can be found.
std::optional<AudioCodec> codecForContentType(const QString &contentType);

// Finds the frames of an MPEG audio or ADTS stream. A stream joined in the middle
// starts anywhere; the walker locks on where two frame headers follow each other at
// exactly one frame's distance, and from then on steps from frame to frame, locking on
// afresh when a header is missing. Bytes outside frames are dropped (counted). What is
// held is less than two of the largest frames plus one read.
class FrameWalker final
{
public:
    struct Frame
    {
        qint64 start = 0; // position of its first byte in the bytes fed
        QByteArray bytes;
    };

    explicit FrameWalker(AudioCodec codec)
        : m_codec(codec)
    { }

    void feed(QByteArrayView audio, QList<Frame> &frames);
    qint64 droppedBytes() const { return m_dropped; }

    // The length of the frame whose header begins at `header`, or 0 when there is no
    // valid header there. `available` bytes may be read.
    static int frameLength(AudioCodec codec, QByteArrayView header);
    // The header bits that stay the same from frame to frame of one stream.
    static quint32 signature(AudioCodec codec, QByteArrayView header);

private:
    int headerSize() const { return m_codec == AudioCodec::Mp3 ? 4 : 7; }
    // Where the walker locks on within m_buffer from `from`; -1 when it needs more bytes
    // from *keep on, -2 when no lock is possible anywhere before *keep.
    qsizetype findLock(qsizetype from, qsizetype *keep) const;

    AudioCodec m_codec;
    QByteArray m_buffer;
    qint64 m_bufferStart = 0; // stream position of m_buffer's first byte
    bool m_locked = false;
    quint32 m_signature = 0;
    qint64 m_dropped = 0;
};

// Cuts a stream with in-stream titles into songs. A song begins with the first whole
// frame that starts at or after the byte where the metadata block announcing its title
// sat: a frame running across that byte stays with the song before, so every song
// starts with a whole frame and no byte is lost or doubled. Until the first block the
// song's title is unknown; its frames are held (at most one interval) and go to the
// song that block names.
class SongSplitter final
{
public:
    struct Event
    {
        enum class Kind { Song, Audio } kind = Kind::Audio;
        QString title; // Song: the decoded title, empty when the station sent none
        QByteArray bytes; // Audio: whole frames of the current song
    };

    SongSplitter(AudioCodec codec, qint64 metaint);

    // False once the stream is at fault; see fault().
    bool feed(QByteArrayView body, QList<Event> &events);
    IcyDemuxer::Fault fault() const { return m_icy.fault(); }
    qint64 droppedBytes() const { return m_frames.droppedBytes(); }

private:
    void apply(const IcyDemuxer::TitleChange &change, QList<Event> &events);

    IcyDemuxer m_icy;
    FrameWalker m_frames;
    QList<IcyDemuxer::TitleChange> m_pending; // announced, not yet reached
    QList<FrameWalker::Frame> m_held; // before the first title
    bool m_inSong = false;
    QByteArray m_title;
};

// A title as the station sent it, decoded as UTF-8 or else Windows-1252, with control
// characters as spaces.
QString decodeStreamTitle(const QByteArray &raw);
