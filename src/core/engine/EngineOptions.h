#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

struct mpv_handle;

// The engine's settings before it starts: the built-in ones, then those of an options
// text "key=value,key=value" (a comma inside a value is written "\,"; an entry without
// "=" turns a flag on). The program passes the NORVALE_MPV_OPTIONS environment variable.
namespace EngineOptions {

QList<std::pair<QString, QString>> parse(const QString &options);

// Sets the built-in options and then those of the text on an engine not yet initialised;
// returns the entries the engine refused, as "key=value". Entries from a remote playlist
// that point at local files or devices stay refused whatever the text says:
// "load-unsafe-playlists" is never taken from it.
QStringList apply(mpv_handle *mpv, const QString &options);

} // namespace EngineOptions
