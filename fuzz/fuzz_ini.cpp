// INI files other programs wrote: read a key, then write one and read it back.
// Input: "section\nkey\n" followed by the file's bytes.

#include "app/IniFile.h"

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // In memory when possible: every write ends in an fsync.
    static const QString path =
        QDir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
            .filePath(QStringLiteral("norvale-fuzz-%1.ini").arg(::getpid()));
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype first = input.indexOf('\n');
    const qsizetype second = first < 0 ? -1 : input.indexOf('\n', first + 1);
    if (second < 0)
        return 0;
    const QString section = QString::fromUtf8(input.left(first));
    const QString key = QString::fromUtf8(input.mid(first + 1, second - first - 1));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(input.mid(second + 1));
    }
    ReadINI(path, section, key);

    // What was written is what is read, whatever the file held before.
    const QString value = QStringLiteral(" fuzz value ");
    if (WriteINI(path, section, key, value) == IniWriteResult::Ok && ReadINI(path, section, key) != value.trimmed())
        std::abort();
    return 0;
}
