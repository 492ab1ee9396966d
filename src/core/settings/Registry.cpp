#include "settings/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <utility>

namespace {

constexpr qint64 kMaxEntryBytes = 64 * 1024;

bool isRunKey(const QString &subkey)
{
    return subkey.compare(QLatin1String(kRunKey), Qt::CaseInsensitive) == 0;
}

// "Norvale Internet Radio" -> "norvale-internet-radio.desktop"
QString entryFileName(const QString &valueName)
{
    QString name;
    for (const QChar c : valueName.toLower()) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            name += c;
        else if (!name.endsWith(QLatin1Char('-')))
            name += QLatin1Char('-');
    }
    while (name.endsWith(QLatin1Char('-')))
        name.chop(1);
    return name.isEmpty() ? QString() : name + QStringLiteral(".desktop");
}

// The command as one argument of Exec: quoted with the characters that are special
// inside quotes escaped, "%" doubled (field codes), and then escaped as a desktop-file
// string value.
QString execValue(const QString &command)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : command) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
    }
    quoted += QLatin1Char('"');
    QString value;
    for (const QChar c : std::as_const(quoted)) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else
            value += c;
    }
    return value;
}

QString unescapeString(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (next == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (next == QLatin1Char('s'))
            out += QLatin1Char(' ');
        else
            out += next;
    }
    return out;
}

// Reverses execValue; an unquoted Exec (an entry written by hand) is taken whole.
QString commandFromExec(const QString &exec)
{
    const QString value = unescapeString(exec).trimmed();
    QString command;
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) {
        const QString inner = value.mid(1, value.size() - 2);
        for (qsizetype i = 0; i < inner.size(); ++i) {
            if (inner.at(i) == QLatin1Char('\\') && i + 1 < inner.size())
                ++i;
            command += inner.at(i);
        }
    } else {
        command = value;
    }
    command.replace(QLatin1String("%%"), QLatin1String("%"));
    return command;
}

} // namespace

AutostartFolders AutostartFolders::fromEnvironment()
{
    AutostartFolders folders;
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    folders.user =
        (config.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : config) + QStringLiteral("/autostart");
    folders.machine = qEnvironmentVariable("NORVALE_SYSTEM_AUTOSTART", QStringLiteral("/etc/xdg/autostart"));
    return folders;
}

Registry::Registry(AutostartFolders folders)
    : m_folders(std::move(folders))
{ }

QString Registry::entryPath(RegistryRoot root, const QString &valueName) const
{
    const QString name = entryFileName(valueName);
    const QString folder = root == RegistryRoot::CurrentUser ? m_folders.user : m_folders.machine;
    if (name.isEmpty() || folder.isEmpty())
        return {};
    return folder + QLatin1Char('/') + name;
}

QString Registry::read(RegistryRoot root, const QString &subkey, const QString &valueName,
                       const QString &defaultValue) const
{
    const QString path = entryPath(root, valueName);
    if (!isRunKey(subkey) || path.isEmpty())
        return defaultValue;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxEntryBytes)
        return defaultValue;
    const QStringList lines = QString::fromUtf8(file.read(kMaxEntryBytes)).split(QLatin1Char('\n'));

    bool inEntry = false;
    bool hasExec = false;
    bool disabled = false;
    QString command;
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inEntry || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Exec")) {
            hasExec = true;
            command = commandFromExec(value);
        } else if (key == QLatin1String("Hidden") && value == QLatin1String("true")) {
            disabled = true;
        } else if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false")) {
            disabled = true;
        }
    }
    if (!hasExec)
        return defaultValue;
    return disabled ? QLatin1String(kDisabledPrefix) + command : command;
}

bool Registry::write(RegistryRoot root, const QString &subkey, const QString &valueName, const QString &data) const
{
    const QString path = entryPath(root, valueName);
    if (!isRunKey(subkey) || path.isEmpty())
        return false;
    QString command = data;
    const bool disabled = command.startsWith(QLatin1String(kDisabledPrefix));
    if (disabled)
        command.remove(0, int(qstrlen(kDisabledPrefix)));

    QString name = valueName;
    name.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=") + name + QStringLiteral("\nExec=")
        + execValue(command) + QStringLiteral("\nTerminal=false\n");
    if (disabled)
        text += QStringLiteral("Hidden=true\nX-GNOME-Autostart-enabled=false\n");

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

void writeAutostart(const Registry &registry, bool enabled, const QString &programPath)
{
    const QString key = QLatin1String(kRunKey);
    const QString name = QLatin1String(kRunValueName);
    const QString disabled = QLatin1String(kDisabledPrefix) + programPath;
    registry.write(RegistryRoot::CurrentUser, key, name, enabled ? programPath : disabled);
    registry.write(RegistryRoot::LocalMachine, key, name, disabled);
}
