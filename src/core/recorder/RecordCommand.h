#pragma once

#include <QString>
#include <optional>

struct RecordingPlan;

// `norvale --record ADDRESS [--for DURATION] [--per-song] [--to FOLDER]`: records a
// station without a window or a display, beside a running player.
// Called by main before any application object exists.
bool isRecordCommand(int argc, char **argv);
int runRecordCommand(int argc, char **argv);

// Milliseconds in "90s", "45m", "2h" or plain seconds; -1 when not such a text or
// longer than a week.
long long parseRecordDuration(const char *text);

// A station to record: its stream address and its name (empty: the stream's own).
struct RecordStation
{
    QString address;
    QString name;
};
// A favourite's name, matched without regard to case, or an http address.
std::optional<RecordStation> findRecordStation(const QString &programFolder, const QString &text);
// Sets host, port and path of plan from an http:// stream address; false for others.
bool setPlanAddress(RecordingPlan &plan, const QString &address);
// The recorder's remembered folder, else Music, else home.
QString recordingFolder(const QString &programFolder);
