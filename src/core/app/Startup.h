#pragma once

#include <QString>

constexpr auto kApplicationTitle = "Norvale Internet Radio";
constexpr auto kProgramVersion = "3.0"; // major.minor, as the directory server is told

// "firstrun" holds "1" once the first run is complete. Only a value that reads as the
// number 1 opens the main window; a missing value or text that is no number means the
// first run still has to happen.
bool opensMainWindow(const QString &firstrun);
