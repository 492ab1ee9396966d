#pragma once

#include <QString>
#include <QTime>

// A text as a file name that every common file system accepts, and back. The characters
// that Linux refuses ("/", NUL) or that other systems refuse (\ : * ? " < > |, control
// characters) are written as "%" and two hexadecimal digits of their byte, and so is
// "%" itself, which keeps the mapping reversible; a leading "." is written so too, so a
// name never hides the file or means "." or "..". Other text, letters with accents
// included, stays as it is. The length is the caller's to bound.
QString safeFileName(const QString &text);
// The text safeFileName() was given.
QString textFromSafeFileName(const QString &fileName);

// The recording the recorder proposes: folder + "Opname <station> <hour>.<minute>.mp3",
// hour and minute without leading zeros. folder is the stored "Record"/"dir" value
// (with or without its trailing separator); when it is empty, fallbackFolder is used.
// The station part is mapped by safeFileName() and shortened so that the file name
// stays within the 255 bytes file systems allow.
QString proposedRecordingPath(const QString &folder, const QString &stationName, QTime time,
                              const QString &fallbackFolder);

class QFile;

// path itself for n = 1, otherwise "<stem> (n).<suffix>"; the stem is shortened so
// that the name stays within 255 bytes.
QString numberedPath(const QString &path, int n);
// Opens a new file at path, or at the first numbered path that is free: an existing
// file is never opened, so never overwritten. False when none could be created;
// file.errorString() says why. The file is unbuffered, so a full disk shows at the
// write that met it.
bool createNewFile(QFile &file, const QString &path);
// Renames a closed file to path or the first free numbered path; the new name or an
// empty text.
QString renameToFree(const QString &from, const QString &path);

// The file name of a song: its title (the station's "Artist - Title") with the mark,
// mapped by safeFileName() and shortened to leave room for a number.
QString songFileName(const QString &title, const QString &mark, const QString &extension);
// "Artist - Title" split at its first " - "; a title without one has no artist.
struct SongTitle
{
    QString artist;
    QString title;
};
SongTitle splitStreamTitle(const QString &streamTitle);
