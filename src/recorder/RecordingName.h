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
