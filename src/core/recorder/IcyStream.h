#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The fields of a stream server's response header that the recorder uses. Keys are
// compared without regard to case; values are decoded as UTF-8, or Windows-1252 when
// they are not valid UTF-8.
struct IcyHeader
{
    QByteArray statusLine;
    QString name; // icy-name
    QString contentType; // lower case, without parameters
    qint64 metaint = -1; // icy-metaint; -1 when absent, 0 when not a number

    static IcyHeader parse(QByteArrayView header);
    // "ICY 200 ..." or "HTTP/1.x 200 ...".
    bool isOk() const;
};

// Takes the in-stream metadata blocks out of a stream asked for with "Icy-MetaData: 1":
// after every `metaint` audio bytes the server puts one length byte, and that many times
// 16 bytes of text such as "StreamTitle='Artist - Title';" padded with NULs. The block
// is therefore at most 255 * 16 bytes, which bounds what is held whatever the server
// sends. Bytes may arrive split anywhere.
class IcyDemuxer final
{
public:
    // Larger intervals are no station's choice but a broken or hostile one; and the
    // recorder holds up to one interval of audio before the first title names its file.
    static constexpr qint64 kMaxMetaint = 512 * 1024;

    enum class Fault {
        None,
        BadInterval, // icy-metaint 0, not a number or absurdly large
        UnendedTitle, // StreamTitle=' without its closing quote inside the block
    };

    struct TitleChange
    {
        qint64 position = 0; // audio bytes before the block that carried it
        QByteArray title; // as sent, not decoded
    };

    explicit IcyDemuxer(qint64 metaint);

    // Appends the audio of `in` to `audio` and the title changes to `titles`. The first
    // block always counts as a change (a missing title as the empty one), later blocks
    // only when their StreamTitle differs from the last. False once the stream is at
    // fault; nothing is taken after that.
    bool feed(QByteArrayView in, QByteArray &audio, QList<TitleChange> &titles);

    Fault fault() const { return m_fault; }
    qint64 audioPosition() const { return m_position; }

private:
    bool takeBlock(QList<TitleChange> &titles);

    qint64 m_metaint;
    qint64 m_untilBlock; // audio bytes before the next length byte
    int m_blockLeft = -1; // -1: reading audio or the length byte
    QByteArray m_block;
    qint64 m_position = 0;
    bool m_firstBlock = true;
    QByteArray m_lastTitle;
    Fault m_fault = Fault::None;
};
