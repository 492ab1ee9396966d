#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <utility>

class Registry;

// Taking over an older installation, free of widgets. The older program is found
// through the autostart entry it left: the user's own, which any older copy could
// write, or else the machine-wide one. Its folder holds its INST.INI and its "favo"
// folder.

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

// The old program's path from an autostart entry, without its "rem ".
QString oldProgramPath(const QString &entry);

// The old folder (ending in "/") when the entry names a usable older installation: an
// absolute path whose folder exists and holds an INST.INI (in any case), and not this
// program itself. An entry this program wrote (its own per-user one, or one left by an
// earlier take-over) names the running executable; treating it as an older
// installation would delete the running program.
std::optional<QString> oldInstallationFolder(const QString &oldPath, const QString &programPath);

struct OldInstallation
{
    QString path; // the old program
    QString folder; // its folder, ending in "/"
};

// The older installation named by the per-user autostart entry, or else by the
// machine-wide one; nullopt when neither names one.
std::optional<OldInstallation> findOldInstallation(const Registry &registry, const QString &programPath);

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

enum class ForwarderError { None, NoForwarder, CannotCopy, CannotWriteIni, CannotReplace };

// Leaves the forwarder in the old folder: "NV3.0"/"Start" = programPath in its
// INST.INI, the old program replaced by the forwarder file. The forwarder is copied
// next to the old program first and renamed over it only when the copy is complete, so
// a failure leaves the older installation as it was, able to start.
ForwarderError installForwarder(const QString &oldFolder, const QString &oldPath, const QString &programPath,
                                const QString &forwarderFile);

// "laden" as a number; nullopt when empty or no number (the take-over stops there).
std::optional<int> ladenNumber(const QString &text);
