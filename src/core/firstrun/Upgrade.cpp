#include "firstrun/Upgrade.h"

#include "app/IniFile.h"
#include "settings/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <system_error>

namespace fs = std::filesystem;

const IniKey kSettingsBeforeAutostart[8] = {
    {"Online Radio", "afspelen"},   {"Online Radio", "grootscherm"},
    {"Online Radio", "xsluiten"},   {"Online Radio", "taal"},
    {"Online Radio", "combotaal"},  {"Online Radio", "visual"},
    {"Online Radio", "autoupdate"}, {"Windows", "laden"},
};
const IniKey kSettingsAfterAutostart[7] = {
    {"Onthouden", "LaatsteNAAM"},        {"Onthouden", "LaatsteURL"}, {"Onthouden", "LaatsteLandNaam"},
    {"Onthouden", "LaatsteLandbestand"}, {"Onthouden", "volume"},     {"Onthouden", "Zoekland"},
    {"Onthouden", "laadland"},
};

QString GetFileName(const QString &path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

QString oldProgramPath(const QString &entry)
{
    if (entry.startsWith(QLatin1String("rem"), Qt::CaseInsensitive))
        return entry.mid(4);
    return entry;
}

std::optional<QString> oldInstallationFolder(const QString &oldPath, const QString &programPath)
{
    if (!QDir::isAbsolutePath(oldPath) || GetFileName(oldPath).isEmpty())
        return std::nullopt;
    const QString folder = oldPath.left(oldPath.size() - GetFileName(oldPath).size());
    if (!QFileInfo(folder).isDir() || !QFileInfo(programFilePath(folder, QStringLiteral("INST.INI"))).isFile())
        return std::nullopt;
    const QFileInfo old(oldPath);
    const QFileInfo self(programPath);
    if (QDir(folder) == QDir(self.absolutePath())
        || (old.exists() && old.canonicalFilePath() == self.canonicalFilePath()))
        return std::nullopt;
    return folder;
}

std::optional<OldInstallation> findOldInstallation(const Registry &registry, const QString &programPath)
{
    for (const RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
        const QString path = oldProgramPath(registry.read(root, QLatin1String(kRunKey), QLatin1String(kRunValueName)));
        if (const std::optional<QString> folder = oldInstallationFolder(path, programPath))
            return OldInstallation {path, *folder};
    }
    return std::nullopt;
}

QString UpdateInstelling(const QString &oldFolder, const QString &newIni, const QString &section, const QString &key)
{
    const QString value = ReadINI(programFilePath(oldFolder, QStringLiteral("INST.INI")), section, key);
    if (!value.isEmpty())
        WriteINI(newIni, section, key, value);
    return value;
}

std::optional<int> ladenNumber(const QString &text)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return int(number);
}

CopyFolderError copyFolder(const fs::path &source, const fs::path &dest)
{
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(source, ec)))
        return CopyFolderError::SourceMissing;
    fs::create_directories(dest, ec);
    if (ec || !fs::is_directory(dest, ec))
        return CopyFolderError::CannotCreate;

    // Sizes are counted before anything is written, so a folder beyond the bounds
    // leaves dest as it was.
    std::uintmax_t bytes = 0;
    int entries = 0;
    {
        fs::recursive_directory_iterator it(source, fs::directory_options::none, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            if (++entries > kMaxCopyEntries)
                return CopyFolderError::TooLarge;
            const fs::file_status status = it->symlink_status(ec);
            if (fs::is_regular_file(status))
                bytes += it->file_size(ec);
            if (bytes > kMaxCopyBytes)
                return CopyFolderError::TooLarge;
        }
        if (ec)
            return CopyFolderError::CannotCopy;
    }

    bool failed = false;
    fs::recursive_directory_iterator it(source, fs::directory_options::none, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::file_status status = it->symlink_status(ec);
        const fs::path target = dest / fs::relative(it->path(), source, ec);
        if (ec)
            return CopyFolderError::CannotCopy;
        std::error_code step;
        const fs::file_status existing = fs::symlink_status(target, step);
        if (fs::is_symlink(existing))
            fs::remove(target, step);
        if (fs::is_directory(status)) {
            fs::create_directories(target, step);
        } else if (fs::is_regular_file(status)) {
            fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, step);
        } else {
            continue; // links, sockets, devices stay behind
        }
        failed = failed || bool(step);
    }
    return ec || failed ? CopyFolderError::CannotCopy : CopyFolderError::None;
}

ForwarderError installForwarder(const QString &oldFolder, const QString &oldPath, const QString &programPath,
                                const QString &forwarderFile)
{
    if (!QFileInfo(forwarderFile).isFile())
        return ForwarderError::NoForwarder;
    const QString copy = oldFolder + QStringLiteral(".") + GetFileName(oldPath) + QStringLiteral(".forwarder");
    QFile::remove(copy);
    if (!QFile::copy(forwarderFile, copy))
        return ForwarderError::CannotCopy;
    QFile::setPermissions(copy,
                          QFile::permissions(copy) | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                              | QFileDevice::ExeOther | QFileDevice::ReadOwner);
    if (WriteINI(programFilePath(oldFolder, QStringLiteral("INST.INI")), QStringLiteral("NV3.0"),
                 QStringLiteral("Start"), programPath)
        != IniWriteResult::Ok) {
        QFile::remove(copy);
        return ForwarderError::CannotWriteIni;
    }
    // One rename replaces the old program, so there is no moment without one.
    std::error_code ec;
    fs::rename(QFile::encodeName(copy).toStdString(), QFile::encodeName(oldPath).toStdString(), ec);
    if (ec) {
        QFile::remove(copy);
        return ForwarderError::CannotReplace;
    }
    return ForwarderError::None;
}
