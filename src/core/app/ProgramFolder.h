#pragma once

#include <QString>
#include <QStringList>

// Everything kept between runs lives in one folder, the program folder. It is chosen
// in this order:
//   1. NORVALE_HOME when set (created when missing, seeded when it lacks lang.ini);
//   2. the executable's folder when it holds lang.ini and is writable (a portable copy);
//   3. <user data>/norvale, seeded from the installed share/norvale on every start:
//      missing files are copied, existing ones never overwritten, except lang.ini,
//      which the program only reads and which is refreshed when the shipped copy is newer.

struct ProgramFolderInputs
{
    QString homeOverride; // value of NORVALE_HOME; empty when unset
    QString executableDir;
    QString userDataDir; // QStandardPaths::GenericDataLocation
    QString shippedDataDir; // empty: <executableDir>/../share/norvale

    // Reads the environment, the application's folder and the standard data location.
    // Needs a QCoreApplication.
    static ProgramFolderInputs fromEnvironment();
};

enum class ProgramFolderSource { Environment, ExecutableFolder, UserData };

enum class ProgramFolderError {
    None,
    CannotCreate,
    NotWritable,
};

struct ProgramFolderResult
{
    QString path; // empty when error is set
    ProgramFolderSource source = ProgramFolderSource::UserData;
    ProgramFolderError error = ProgramFolderError::None;
    QString errorText;
    QStringList warnings; // seeding problems; the folder is usable, files may be missing

    bool ok() const { return error == ProgramFolderError::None; }
};

ProgramFolderResult resolveProgramFolder(const ProgramFolderInputs &inputs);

struct SeedResult
{
    QStringList copied; // paths relative to the program folder
    QStringList failures; // readable descriptions

    bool ok() const { return failures.isEmpty(); }
};

// Copies the shipped files into target: every file and folder that target lacks (names
// compared without regard to case), and lang.ini when the shipped one is newer. Files
// whose names start with a dot (.gitkeep) are not copied; their folders are created.
SeedResult seedProgramFolder(const QString &shippedDir, const QString &target);
