#pragma once

#include <QString>

// The program's start-with-the-system entry. The values the rest of the program reads
// and writes keep their registry shape (root, Run key, value name, a command line that
// is switched off by a leading "rem "); on this platform each value is an XDG autostart
// entry: the per-user value a desktop file in the user's autostart folder, the
// machine-wide value one in the system's. The "rem " form is the same entry with
// Hidden=true, which the session ignores, so the entry is never deleted.

enum class RegistryRoot { CurrentUser, LocalMachine };

constexpr auto kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr auto kRunValueName = "Norvale Internet Radio";
constexpr auto kDisabledPrefix = "rem ";

struct AutostartFolders
{
    QString user; // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart
    QString machine; // /etc/xdg/autostart; NORVALE_SYSTEM_AUTOSTART overrides it
    // An empty folder holds no entries: reads give the default, writes are skipped.

    static AutostartFolders fromEnvironment();
};

class Registry final
{
public:
    explicit Registry(AutostartFolders folders);

    // The value's data: the command, with "rem " in front when the entry is switched
    // off; defaultValue when the entry is missing, unreadable or no Run value.
    QString read(RegistryRoot root, const QString &subkey, const QString &valueName,
                 const QString &defaultValue = {}) const;
    // Creates or replaces the entry. False when it was not written (no rights to the
    // system folder, another key than Run); callers carry on silently.
    bool write(RegistryRoot root, const QString &subkey, const QString &valueName, const QString &data) const;

    // The desktop file that holds valueName under root.
    QString entryPath(RegistryRoot root, const QString &valueName) const;

    const AutostartFolders &folders() const { return m_folders; }

private:
    AutostartFolders m_folders;
};

// The autostart choice of the settings dialog: the per-user value is the program's
// path, or its "rem " form when switched off; the machine-wide value is always the
// "rem " form, so an older installation's machine-wide entry stops starting it.
void writeAutostart(const Registry &registry, bool enabled, const QString &programPath);
