#include "player/SongHistory.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

// A thousand lines of bounded fields stay far below this; a larger file is not ours.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;
// Titles come from the stations; a field is bounded so that one station cannot fill the file.
constexpr qsizetype kMaxField = 1024;

// Tabs and line breaks would break the line into other fields or songs.
QString field(const QString &text)
{
    QString clean = text.left(kMaxField);
    for (QChar &c : clean) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return clean;
}

} // namespace

SongHistory::SongHistory(const QString &programFolder)
    : m_path(QDir(programFolder).filePath(QLatin1String(kFileName)))
{ }

QString SongHistory::line(const HeardSong &song)
{
    return song.time.toLocalTime().toString(Qt::ISODate) + u'\t' + field(song.station) + u'\t' + field(song.title)
        + u'\t' + field(song.url);
}

bool SongHistory::parseLine(const QString &line, HeardSong *song)
{
    const QStringList fields = line.split(u'\t');
    if (fields.size() != 4)
        return false;
    const QDateTime time = QDateTime::fromString(fields[0], Qt::ISODate);
    if (!time.isValid() || fields[2].isEmpty())
        return false;
    *song = {time, fields[1], fields[3], fields[2]};
    return true;
}

void SongHistory::load()
{
    m_songs.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &text : lines) {
        HeardSong song;
        if (parseLine(text, &song))
            m_songs.append(song);
    }
    if (m_songs.size() > kMaxSongs)
        m_songs.remove(0, m_songs.size() - kMaxSongs);
}

bool SongHistory::add(const HeardSong &song)
{
    // A stream that reconnects announces its song again; it is still the same song.
    if (!m_songs.isEmpty() && m_songs.last().url == field(song.url) && m_songs.last().title == field(song.title))
        return true;
    m_songs.append({song.time, field(song.station), field(song.url), field(song.title)});
    if (m_songs.size() > kMaxSongs)
        m_songs.remove(0, m_songs.size() - kMaxSongs);

    QByteArray body;
    for (const HeardSong &kept : std::as_const(m_songs))
        body += line(kept).toUtf8() + '\n';
    // QSaveFile writes beside the file, flushes it to the disk and renames it into place.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(body);
    return file.commit();
}
