#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One song heard: when its title first came, on which station (name and stream address),
// and the stream's whole title.
struct HeardSong
{
    QDateTime time;
    QString station;
    QString url;
    QString title;

    bool operator==(const HeardSong &) const = default;
};

// The songs heard, kept across starts in one small file of the program folder: one song a
// line, tab-separated, oldest first, at most kMaxSongs. Every change rewrites the file
// beside it and renames it into place, so a kill in the middle of a write leaves the old
// list or the new one, never half of one.
class SongHistory final
{
public:
    static constexpr qsizetype kMaxSongs = 1000;
    static constexpr auto kFileName = "history.txt";

    explicit SongHistory(const QString &programFolder);

    // Reads the file again; a missing or unreadable file is an empty history, and lines
    // that are not songs are passed over.
    void load();
    // Appends a song and writes the file; the oldest go past kMaxSongs. The newest song
    // announced again by its station is not added twice. False when the file could not be
    // written (the song is still kept for this run).
    bool add(const HeardSong &song);

    const QList<HeardSong> &songs() const { return m_songs; } // oldest first
    QString filePath() const { return m_path; }

    // The tab-separated line of a song as the file and "--history" show it: local time
    // (ISO 8601, seconds), station, title, address.
    static QString line(const HeardSong &song);
    static bool parseLine(const QString &line, HeardSong *song);

private:
    QString m_path;
    QList<HeardSong> m_songs;
};
