#include "IniFile.h"

#include "TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

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
    QFile f(resolveIniPath(file));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const IniDocument doc = splitDocument(f.readAll());
    // Names are matched as WriteINI stores them: without surrounding blanks.
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    bool inSection = false;
    for (const QString &line : doc.lines) {
        const ParsedLine parsed = parseLine(line);
        if (parsed.kind == LineKind::Section) {
            // Only the first section of a name counts, as with the Windows profile functions.
            if (inSection)
                return {};
            inSection = sameName(parsed.name, sectionName);
        } else if (inSection && parsed.kind == LineKind::Entry && sameName(parsed.name, keyName)) {
            return parsed.value;
        }
    }
    return {};
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

    // QSaveFile writes a temporary file in the same folder and renames it over the
    // target only in commit(), so readers never see a half-written file.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return IniWriteResult::CannotOpen;
    if (!writer(out, joinDocument(doc))) {
        out.cancelWriting();
        return IniWriteResult::CannotWrite;
    }
    if (!out.commit())
        return IniWriteResult::CannotCommit;
    return IniWriteResult::Ok;
}
