#pragma once

#include <QByteArray>
#include <QString>

// Texts from the directory server and INI files written by Windows programs may be
// Windows-1252. A text that is valid UTF-8 is taken as UTF-8; otherwise each line is,
// when it is valid UTF-8, and the other lines are Windows-1252.
QString decodeUtf8OrWindows1252(const QByteArray &bytes);
