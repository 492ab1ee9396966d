#pragma once

#include "app/ReplyGuard.h"

#include <QObject>
#include <QString>
#include <QUrl>

class CurrentStation;
class MediaPlayer;
class QLabel;
class QListWidget;
class Transfer;

// What the window tells the directory server and asks it: the play reports through the
// report channel, the problem form of a failing station, and once per start of a stream
// whether the stream can be recorded.
class DirectoryReporter final : public QObject
{
    Q_OBJECT
public:
    struct Views
    {
        QLabel *channel = nullptr; // verstuurMelding: the report last raised, or its reply
        QListWidget *log = nullptr; // List4: every report raised
        QLabel *recordable = nullptr; // recStream: the recordable address last answered
    };

    // player and station must outlive the reporter.
    DirectoryReporter(Transfer *reports, Transfer *questions, QUrl directoryBase, MediaPlayer *player,
                      const CurrentStation *station, Views views, QObject *parent = nullptr);

    // Puts text into the report channel; a text different from the channel's current
    // caption is logged and sent.
    void raiseReport(const QString &text);
    // The problem form for the station and stream as they are now.
    QUrl problemPage() const;
    // Playback ended: the next start asks afresh, and no answer for this one counts.
    void playbackEnded();
    // The stream plays: asked about once per start; back from a stall or a reconnect to
    // the same address, the answer already given holds and is told again at once.
    void streamPlaying();

Q_SIGNALS:
    // Whether the record button may be pressed now.
    void recordableChanged(bool enabled);

private:
    void askRecordable();

    Transfer *m_reports;
    Transfer *m_questions;
    QUrl m_directoryBase;
    MediaPlayer *m_player;
    const CurrentStation *m_station;
    Views m_views;
    ReplyGuard m_ask; // the address question; a reply to an older one is dropped
    QString m_askedUrl; // the stream asked about since playback last started; empty: not yet
    bool m_recordable = false; // the answer for m_askedUrl named a recordable address
};
