#pragma once

// `norvale --record ADDRESS [--for DURATION] [--per-song] [--to FOLDER]`: records a
// station without a window or a display, beside a running player.
// Called by main before any application object exists.
bool isRecordCommand(int argc, char **argv);
int runRecordCommand(int argc, char **argv);

// Milliseconds in "90s", "45m", "2h" or plain seconds; -1 when not such a text or
// longer than a week.
long long parseRecordDuration(const char *text);
