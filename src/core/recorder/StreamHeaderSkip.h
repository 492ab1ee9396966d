#pragma once

#include <QByteArray>

// Drops the response header a stream server sends before the audio. The header ends at
// the first CR LF CR LF; that marker may arrive split over any number of chunks (the
// network cuts wherever it likes), so the part matched so far is carried from one
// chunk to the next. Everything after the marker is body and passes unchanged, even
// when it holds CR LF CR LF itself.
class StreamHeaderSkip final
{
public:
    // The part of chunk that belongs to the body; empty while the header lasts. The
    // view points into chunk.
    QByteArrayView take(QByteArrayView chunk);

    // True while the header's end has not been seen yet (the window's bIcy).
    bool inHeader() const { return m_inHeader; }
    // 1-based position, within the chunk that ended the header, of the marker's first
    // byte; 0 or less when the marker began in an earlier chunk.
    qsizetype headerLoc() const { return m_headerLoc; }

    // The header's first bytes, up to kKeptHeader: what a server needs to say fits.
    QByteArrayView header() const { return m_kept; }
    static constexpr qsizetype kKeptHeader = 16 * 1024;

    // Arms the skip again for the next connection.
    void reset() { *this = StreamHeaderSkip {}; }

private:
    bool m_inHeader = true;
    int m_matched = 0; // bytes of CR LF CR LF seen at the end of what was scanned
    qsizetype m_headerLoc = 0;
    QByteArray m_kept;
};
