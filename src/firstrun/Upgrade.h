#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <utility>

class Registry;

// Taking over an older installation, free of widgets. The older program is found
// through the machine-wide autostart entry it left; its folder holds its INST.INI and
// its "favo" folder.

struct IniKey
{
    const char *section;
    const char *key;
};

// Copied before the autostart entries are rewritten, and after; same section and key
// on both sides (names match without regard to case).
extern const IniKey kSettingsBeforeAutostart[8];
extern const IniKey kSettingsAfterAutostart[7];

// The part of path after its last separator ("/" or "\"); the whole text without one.
QString GetFileName(const QString &path);

// The old program's path from the machine-wide entry, without its "rem ".
QString oldProgramPath(const QString &machineEntry);

// The old folder (ending in "/") when the entry names a usable older installation: an
// absolute path whose folder exists, and not this program itself. An entry this
// program wrote after an earlier take-over names the running executable; treating it
// as an older installation would delete the running program.
std::optional<QString> oldInstallationFolder(const QString &oldPath, const QString &programPath);

// Reads section/key from oldFolder's INST.INI and writes a non-empty value into newIni.
// Returns the value read; an empty old value never overwrites a new one.
QString UpdateInstelling(const QString &oldFolder, const QString &newIni, const QString &section, const QString &key);

enum class CopyFolderError { None, SourceMissing, TooLarge, CannotCreate, CannotCopy };

// Bounds of one folder copy: favourites are small files, and the old folder may hold
// anything.
constexpr std::uintmax_t kMaxCopyBytes = 64ull * 1024 * 1024;
constexpr int kMaxCopyEntries = 10000;

// Copies source into dest recursively, overwriting files that exist. Symbolic links are
// not followed and not copied, so nothing outside source is read, and a link in dest is
// replaced rather than written through.
CopyFolderError copyFolder(const std::filesystem::path &source, const std::filesystem::path &dest);

enum class ForwarderError { None, NoForwarder, CannotWriteIni, CannotDelete, CannotCopy };

// Leaves the forwarder in the old folder: "NV3.0"/"Start" = programPath in its
// INST.INI, the old program replaced by the forwarder file. The old program is deleted
// only when the forwarder exists, so a failure never leaves the old folder without a
// program to start.
ForwarderError installForwarder(const QString &oldFolder, const QString &oldPath, const QString &programPath,
                                const QString &forwarderFile);

// "laden" as a number; nullopt when empty or no number (the take-over stops there).
std::optional<int> ladenNumber(const QString &text);
