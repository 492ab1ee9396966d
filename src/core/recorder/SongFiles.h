#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

// The files of a recording per song, in the station's folder: one per song, named
// after its title, an ID3v2 tag in front, never over an existing file. The first and
// the last song of a recording miss their start and their end: they are kept with a
// mark in their names or left out.
class SongFiles final
{
public:
    struct Setup
    {
        QString folder; // the station's folder; made when missing
        QString station;
        QString address;
        QString extension; // "mp3" or "aac"
        bool keepPartial = true;
        QString beginMark; // appended to the first song's name, as " (begin ontbreekt)"
        QString endMark;
    };

    explicit SongFiles(Setup setup);
    ~SongFiles();

    // Closes the song before (complete) and begins the next; false when its file cannot
    // be made (errorText() says why).
    bool startSong(const QString &title, const QDateTime &when);
    bool write(QByteArrayView bytes);
    // Gives the last song its mark, or removes it when partial songs are left out.
    void finish();

    QString path() const { return m_file.fileName(); }
    QString errorText() const { return m_error; }
    // Every file kept, by its final name.
    QStringList files() const { return m_files; }
    qint64 bytesWritten() const { return m_bytes; }

private:
    bool fail();

    Setup m_setup;
    QFile m_file;
    int m_songs = 0;
    bool m_skipping = false; // the first song, left out
    QString m_name; // the current song's file name before its end mark
    QString m_title;
    QStringList m_files;
    qint64 m_bytes = 0;
    QString m_error;
};
