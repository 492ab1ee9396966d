#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What a recording's tag says. Empty fields are left out.
struct RecordingTags
{
    QString title;
    QString artist;
    QString album; // the station's name
    QDateTime recorded;
    QString comment; // the station's address
};

// An ID3v2.4 tag in UTF-8, made by TagLib, to be written in front of the audio: MP3
// players and the common AAC players read it there, and the audio bytes after it stay
// exactly as the station sent them.
QByteArray renderId3v2(const RecordingTags &tags);
