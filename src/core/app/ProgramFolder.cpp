#include "app/ProgramFolder.h"

#include "app/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <optional>

namespace {

const QString kLanguageFile = QStringLiteral("lang.ini");
const QString kFavouritesFolder = QStringLiteral("favo");

bool isWritableFolder(const QString &folder)
{
    // Permission bits say nothing about read-only mounts, so try it.
    QTemporaryFile probe(folder + QStringLiteral("/.norvale-probe-XXXXXX"));
    return probe.open();
}

// A half-copied file would be taken for a complete one at the next start and never be
// replaced, so the copy goes through a temporary file as well. The modification time is
// carried over: "is the shipped lang.ini newer" must compare the two builds, not the
// shipped build with the moment of copying.
bool copyWhole(const QString &from, const QString &to, QString *why)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        *why = in.errorString();
        return false;
    }
    const QByteArray bytes = in.readAll();
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        *why = out.errorString();
        return false;
    }
    QFile copied(to);
    if (copied.open(QIODevice::ReadWrite))
        copied.setFileTime(QFileInfo(from).lastModified(), QFileDevice::FileModificationTime);
    return true;
}

void ensureFavourites(const QString &folder, QStringList *warnings)
{
    const QString favo = programFilePath(folder, kFavouritesFolder);
    if (!QDir().mkpath(favo))
        warnings->append(QStringLiteral("cannot create %1").arg(favo));
}

QString defaultShippedDir(const QString &executableDir)
{
    return QDir::cleanPath(executableDir + QStringLiteral("/../share/norvale"));
}

void seedInto(const ProgramFolderInputs &inputs, ProgramFolderResult *result)
{
    const QString shipped =
        inputs.shippedDataDir.isEmpty() ? defaultShippedDir(inputs.executableDir) : inputs.shippedDataDir;
    if (!QFileInfo(shipped).isDir()) {
        result->warnings.append(QStringLiteral("no shipped data folder at %1").arg(shipped));
        return;
    }
    const SeedResult seeded = seedProgramFolder(shipped, result->path);
    result->warnings += seeded.failures;
}

ProgramFolderResult failure(ProgramFolderSource source, ProgramFolderError error, const QString &text)
{
    ProgramFolderResult result;
    result.source = source;
    result.error = error;
    result.errorText = text;
    return result;
}

} // namespace

ProgramFolderInputs ProgramFolderInputs::fromEnvironment()
{
    ProgramFolderInputs inputs;
    inputs.homeOverride = qEnvironmentVariable("NORVALE_HOME");
    inputs.executableDir = QCoreApplication::applicationDirPath();
    inputs.userDataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return inputs;
}

SeedResult seedProgramFolder(const QString &shippedDir, const QString &target)
{
    SeedResult result;
    const QDir source(shippedDir);
    QDirIterator it(shippedDir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    // Folders before their files: QDirIterator yields a folder before descending into it.
    while (it.hasNext()) {
        const QString from = it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = source.relativeFilePath(from);
        const QString to = programFilePath(target, relative);
        if (info.isDir()) {
            if (!QDir().mkpath(to))
                result.failures.append(QStringLiteral("cannot create folder %1").arg(to));
            continue;
        }
        if (info.fileName().startsWith(QLatin1Char('.')))
            continue;
        const QFileInfo existing(to);
        const bool isLanguageFile = relative.compare(kLanguageFile, Qt::CaseInsensitive) == 0;
        // Whole seconds: the copy's time is set with millisecond precision only.
        const bool shippedNewer = info.lastModified().toSecsSinceEpoch() > existing.lastModified().toSecsSinceEpoch();
        if (existing.exists() && !(isLanguageFile && shippedNewer))
            continue;
        QString why;
        if (copyWhole(from, to, &why))
            result.copied.append(relative);
        else
            result.failures.append(QStringLiteral("cannot copy %1 to %2: %3").arg(from, to, why));
    }
    return result;
}

// Creates folder when missing and checks that files can be written in it; what is
// wrong is said with the name the user knows the folder by.
static std::optional<ProgramFolderResult> unusableFolder(const QString &folder, const QString &what,
                                                         ProgramFolderSource source)
{
    if (!QDir().mkpath(folder))
        return failure(source, ProgramFolderError::CannotCreate,
                       QStringLiteral("cannot create %1%2").arg(what, folder));
    if (!isWritableFolder(folder))
        return failure(source, ProgramFolderError::NotWritable,
                       QStringLiteral("%1%2 is not writable").arg(what, folder));
    return std::nullopt;
}

ProgramFolderResult resolveProgramFolder(const ProgramFolderInputs &inputs)
{
    if (!inputs.homeOverride.isEmpty()) {
        const QString home = QDir::cleanPath(QDir(inputs.homeOverride).absolutePath());
        if (auto failed =
                unusableFolder(home, QStringLiteral("NORVALE_HOME folder "), ProgramFolderSource::Environment))
            return *failed;
        ProgramFolderResult result;
        result.path = home;
        result.source = ProgramFolderSource::Environment;
        if (!QFileInfo::exists(programFilePath(home, kLanguageFile)))
            seedInto(inputs, &result);
        ensureFavourites(home, &result.warnings);
        return result;
    }

    if (!inputs.executableDir.isEmpty()) {
        const QString exeDir = QDir::cleanPath(QDir(inputs.executableDir).absolutePath());
        if (QFileInfo::exists(programFilePath(exeDir, kLanguageFile)) && isWritableFolder(exeDir)) {
            ProgramFolderResult result;
            result.path = exeDir;
            result.source = ProgramFolderSource::ExecutableFolder;
            ensureFavourites(exeDir, &result.warnings);
            return result;
        }
    }

    if (inputs.userDataDir.isEmpty())
        return failure(ProgramFolderSource::UserData, ProgramFolderError::CannotCreate,
                       QStringLiteral("no user data location is known"));
    const QString folder = QDir::cleanPath(QDir(inputs.userDataDir).absolutePath() + QStringLiteral("/norvale"));
    if (auto failed = unusableFolder(folder, QString(), ProgramFolderSource::UserData))
        return *failed;
    ProgramFolderResult result;
    result.path = folder;
    result.source = ProgramFolderSource::UserData;
    seedInto(inputs, &result);
    ensureFavourites(folder, &result.warnings);
    return result;
}
