#pragma once

// What the program calls itself: window and box titles, the tray tip, the desktop bus,
// the autostart entry and what servers are told.
constexpr auto kApplicationTitle = "Norvale Internet Radio";
constexpr auto kProgramVersion = "3.0"; // major.minor, as the directory server is told
constexpr auto kUserAgent = "Norvale/3.0";
