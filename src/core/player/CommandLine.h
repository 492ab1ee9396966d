#pragma once

#include <optional>

// The command-line actions that need no window, run before any QApplication exists so
// that they work without a display:
//   --history [N]     prints the last N songs heard (default 20), oldest first, as
//                     tab-separated lines: time, station, title, address;
//   --sleep MINUTES   sets the sleep timer of the running copy (0 cancels);
//   --help, --version; any other long option is refused with exit code 2.
// Gives the exit code, or nothing when the program should start as usual.
std::optional<int> runCommandLine(int argc, char **argv, const char *applicationTitle);

// An argument left over once Qt has taken its own: said on standard error, exit code 2.
int rejectArgument(const char *argument);
