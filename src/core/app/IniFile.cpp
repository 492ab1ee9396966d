#include "app/IniFile.h"

#include "app/TextCodec.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class LineKind { Other, Section, Entry };

struct ParsedLine
{
    LineKind kind = LineKind::Other;
    QString name; // section or key, without surrounding blanks
    QString value; // entry value, without surrounding blanks
};

ParsedLine parseLine(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')))
        return {};
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        const QString name = close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1);
        return {LineKind::Section, name.trimmed(), {}};
    }
    const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return {};
    return {LineKind::Entry, trimmed.left(equals).trimmed(), trimmed.mid(equals + 1).trimmed()};
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct IniDocument
{
    QStringList lines;
    QString lineEnd = QStringLiteral("\n");
    bool byteOrderMark = false;
};

IniDocument splitDocument(const QByteArray &bytes)
{
    IniDocument doc;
    doc.byteOrderMark = bytes.startsWith("\xEF\xBB\xBF");
    if (bytes.contains("\r\n"))
        doc.lineEnd = QStringLiteral("\r\n");
    const QString text = decodeIniText(bytes);
    if (text.isEmpty())
        return doc;
    doc.lines = text.split(QLatin1Char('\n'));
    for (QString &line : doc.lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (doc.lines.last().isEmpty())
        doc.lines.removeLast(); // the break after the last line, not an empty line
    return doc;
}

QByteArray joinDocument(const IniDocument &doc)
{
    QByteArray bytes;
    if (doc.byteOrderMark)
        bytes += "\xEF\xBB\xBF";
    for (const QString &line : doc.lines) {
        bytes += line.toUtf8();
        bytes += doc.lineEnd.toLatin1();
    }
    return bytes;
}

bool validName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r'));
}

bool writeWhole(QIODevice &device, const QByteArray &content)
{
    return device.write(content) == content.size();
}

// The name a new version carries for the moment between being linked into the folder
// and being renamed over the target; the writer's process number tells a live writer's
// file from one a killed writer left behind.
// A file name may take the file system's whole 255 bytes (a favourite's station name),
// so the temporary file is named after a digest of it, not the name itself.
QString temporaryKey(const QFileInfo &target)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(target.fileName().toLower().toUtf8(), QCryptographicHash::Md5).toHex().left(16));
}

QString temporaryName(const QFileInfo &target, qint64 pid)
{
    return QStringLiteral(".%1.%2.norvale-tmp").arg(temporaryKey(target)).arg(pid);
}

void removeLeftovers(const QFileInfo &target)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.([0-9a-f]{16})\\.(\\d+)\\.norvale-tmp$"));
    const QDir dir = target.absoluteDir();
    const QStringList entries = dir.entryList({QStringLiteral(".*.norvale-tmp")}, QDir::Files | QDir::Hidden);
    for (const QString &entry : entries) {
        const QRegularExpressionMatch match = pattern.match(entry);
        if (!match.hasMatch() || match.captured(1) != temporaryKey(target))
            continue;
        const pid_t pid = pid_t(match.captured(2).toLongLong());
        if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH)
            QFile::remove(dir.filePath(entry));
    }
}

// Writes the new version into an unnamed file in the target's folder (O_TMPFILE), so a
// writer killed half-way leaves nothing behind; only a finished, synced version gets a
// name, for the two calls that put it in place. Without O_TMPFILE the file is named
// from the start; what a killed writer leaves is removed by the next write.
IniWriteResult replaceWhole(const QString &path, const QByteArray &content, const IniBodyWriter &writer)
{
    const QFileInfo target(path);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray temp = QFile::encodeName(target.absoluteDir().filePath(temporaryName(target, ::getpid())));
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    const bool unnamed = fd >= 0;
    if (!unnamed)
        fd = ::open(temp.constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        return IniWriteResult::CannotOpen;
    const QByteArray targetName = QFile::encodeName(path);
    struct stat existing = {};
    if (::stat(targetName.constData(), &existing) == 0)
        ::fchmod(fd, existing.st_mode & 07777);

    bool written = false;
    {
        QFile out;
        if (out.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            written = writer(out, content) && out.flush();
    }
    written = written && ::fsync(fd) == 0;
    if (!written) {
        ::close(fd);
        if (!unnamed)
            ::unlink(temp.constData());
        return IniWriteResult::CannotWrite;
    }
    bool named = !unnamed;
    if (unnamed) {
        ::unlink(temp.constData()); // left by an earlier writer with our process number
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        named = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW) == 0;
    }
    // Named and renamed back to back: the only moment a killed writer leaves a file.
    const bool renamed = named && ::rename(temp.constData(), targetName.constData()) == 0;
    ::close(fd);
    if (!renamed) {
        ::unlink(temp.constData());
        return IniWriteResult::CannotCommit;
    }
    // The rename itself must reach the disk as well, or a power cut could bring back the
    // old version.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return IniWriteResult::Ok;
}

} // namespace

QString decodeIniText(const QByteArray &bytes)
{
    return decodeUtf8OrWindows1252(bytes);
}

QString resolveIniPath(const QString &path)
{
    if (path.isEmpty())
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return path;
    // Folders are matched otherwise only when the exact one is missing: two folders that
    // differ in case higher up (/home/Ann and /home/ann) are two people's.
    QString parent;
    if (slash > 0) {
        parent = path.left(slash);
        if (!QFileInfo::exists(parent))
            parent = resolveIniPath(parent);
    } else if (slash == 0) {
        parent = QStringLiteral("/");
    }
    const QDir dir(parent.isEmpty() ? QStringLiteral(".") : parent);
    const auto join = [&](const QString &entry) {
        if (parent.isEmpty())
            return entry;
        return parent.endsWith(QLatin1Char('/')) ? parent + entry : parent + QLatin1Char('/') + entry;
    };
    // When a folder holds the same name in several spellings (INST.INI next to a copied
    // inst.ini), every spelling a caller uses must lead to the same one of them, or a
    // value written to inst.ini would never be read from INST.INI. The entries come
    // sorted, so that is the first spelling in name order, whichever was asked for.
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        if (sameName(entry, name))
            return join(entry);
    }
    return join(name);
}

QString programFilePath(const QString &programFolder, const QString &name)
{
    QString joined = programFolder;
    if (!joined.endsWith(QLatin1Char('/')))
        joined += QLatin1Char('/');
    return resolveIniPath(joined + name);
}

QString ReadINI(const QString &file, const QString &section, const QString &key)
{
    return readIniValues(resolveIniPath(file), section, {key}).constFirst();
}

namespace {

// Calls entry() for each entry of the first section named section, in file order; the
// file at exactly path. Names are matched as WriteINI stores them: without surrounding
// blanks, and only the first section of a name counts.
void forEachEntry(const QString &exactPath, const QString &section,
                  const std::function<void(const ParsedLine &)> &entry)
{
    QFile f(exactPath);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const IniDocument doc = splitDocument(f.readAll());
    const QString sectionName = section.trimmed();
    bool inSection = false;
    for (const QString &line : doc.lines) {
        const ParsedLine parsed = parseLine(line);
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                return;
            inSection = sameName(parsed.name, sectionName);
        } else if (inSection && parsed.kind == LineKind::Entry) {
            entry(parsed);
        }
    }
}

} // namespace

QStringList readIniValues(const QString &exactPath, const QString &section, const QStringList &keys)
{
    QStringList values(keys.size());
    QList<bool> found(keys.size(), false);
    // The first line of a key counts; later repeats are ignored.
    forEachEntry(exactPath, section, [&](const ParsedLine &parsed) {
        for (qsizetype k = 0; k < keys.size(); ++k) {
            if (!found[k] && sameName(parsed.name, keys.at(k).trimmed())) {
                values[k] = parsed.value;
                found[k] = true;
            }
        }
    });
    return values;
}

IniWriteResult WriteINI(const QString &file, const QString &section, const QString &key, const QString &value)
{
    return WriteINI(file, section, key, value, writeWhole);
}

IniWriteResult WriteINI(const QString &file, const QString &section, const QString &key, const QString &value,
                        const IniBodyWriter &writer)
{
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    if (!validName(sectionName) || sectionName.contains(QLatin1Char(']')) || !validName(keyName)
        || keyName.contains(QLatin1Char('=')) || keyName.startsWith(QLatin1Char('['))
        || keyName.startsWith(QLatin1Char(';')))
        return IniWriteResult::InvalidName;

    QString oneLine = value;
    oneLine.replace(QLatin1String("\r\n"), QLatin1String(" "));
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' '));
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));

    const QString path = resolveIniPath(file);
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return IniWriteResult::CannotCreateFolder;
    removeLeftovers(info);

    IniDocument doc;
    {
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly))
            doc = splitDocument(existing.readAll());
    }

    qsizetype header = -1;
    qsizetype sectionEnd = doc.lines.size();
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const ParsedLine parsed = parseLine(doc.lines.at(i));
        if (parsed.kind != LineKind::Section)
            continue;
        if (header >= 0) {
            sectionEnd = i;
            break;
        }
        if (sameName(parsed.name, sectionName))
            header = i;
    }

    if (header < 0) {
        doc.lines.append(QLatin1Char('[') + sectionName + QLatin1Char(']'));
        doc.lines.append(keyName + QLatin1Char('=') + oneLine);
    } else {
        qsizetype lastContent = header;
        qsizetype found = -1;
        for (qsizetype i = header + 1; i < sectionEnd; ++i) {
            const ParsedLine parsed = parseLine(doc.lines.at(i));
            if (!doc.lines.at(i).trimmed().isEmpty())
                lastContent = i;
            if (found < 0 && parsed.kind == LineKind::Entry && sameName(parsed.name, keyName))
                found = i;
        }
        if (found >= 0) {
            // Keep the spelling already in the file; an unchanged line needs no write.
            const QString line = parseLine(doc.lines.at(found)).name + QLatin1Char('=') + oneLine;
            if (line == doc.lines.at(found) && info.exists())
                return IniWriteResult::Ok;
            doc.lines[found] = line;
        } else {
            doc.lines.insert(lastContent + 1, keyName + QLatin1Char('=') + oneLine);
        }
    }

    // Readers see the old file or the new one, never half of one.
    return replaceWhole(path, joinDocument(doc), writer);
}

QHash<QString, QString> ReadINISection(const QString &file, const QString &section)
{
    QHash<QString, QString> values;
    // The first entry of a key counts, as ReadINI finds it.
    forEachEntry(resolveIniPath(file), section, [&](const ParsedLine &parsed) {
        const QString folded = parsed.name.toLower();
        if (!values.contains(folded))
            values.insert(folded, parsed.value);
    });
    return values;
}
