#include "player/Favourites.h"

#include "app/IniFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Internet");
const QString kNaam = QStringLiteral("naam");
const QString kUrl = QStringLiteral("url");
const QString kWebsite = QStringLiteral("website");

bool mustEscape(char16_t c)
{
    return c < 0x20 || c == 0x7f || c == u'/' || c == u'%';
}

void appendEscaped(QString &out, const QString &piece)
{
    for (const char byte : piece.toUtf8())
        out += QLatin1Char('%') + QString::asprintf("%02X", static_cast<unsigned char>(byte));
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

// The longest prefix of text, cut between characters, whose UTF-8 fits into bytes.
QString fitUtf8(const QString &text, qsizetype bytes)
{
    qsizetype used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const qsizetype size = QStringView(text).mid(i, length).toUtf8().size();
        if (used + size > bytes)
            break;
        used += size;
        i += length;
    }
    QString kept = text.left(i);
    // An escape must not be cut in the middle, or the kept part would decode as
    // something the name never held.
    const qsizetype percent = kept.lastIndexOf(QLatin1Char('%'));
    if (percent >= 0 && percent > kept.size() - 3)
        kept.truncate(percent);
    return kept;
}

bool lessByName(const Favourite &a, const Favourite &b)
{
    const int byName = a.naam.compare(b.naam, Qt::CaseInsensitive);
    return byName != 0 ? byName < 0 : a.fileName < b.fileName;
}

} // namespace

Favourites::Favourites(QString programFolder)
    : m_programFolder(std::move(programFolder))
{ }

QString Favourites::folder() const
{
    return programFilePath(m_programFolder, QStringLiteral("favo"));
}

bool Favourites::ensureFolder() const
{
    const QString path = folder();
    return QFileInfo(path).isDir() || QDir().mkpath(path);
}

QString Favourites::filePath(const QString &fileName) const
{
    return folder() + QLatin1Char('/') + fileName;
}

QString Favourites::fileNameFor(const QString &naam)
{
    QString out;
    out.reserve(naam.size());
    for (const QChar c : naam) {
        if (mustEscape(c.unicode()))
            appendEscaped(out, c);
        else
            out += c;
    }
    // "." and ".." name the folders themselves, and a leading dot hides the file.
    if (out.startsWith(QLatin1Char('.')))
        out.replace(0, 1, QStringLiteral("%2E"));
    if (out.toUtf8().size() <= kMaxFileNameBytes)
        return out;
    // A name over the file system's limit: its start plus a digest of the whole name,
    // so that two long names with the same start stay two favourites.
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(naam.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    const QString tail = QLatin1Char('~') + digest;
    return fitUtf8(out, kMaxFileNameBytes - tail.size()) + tail;
}

QString Favourites::nameFromFileName(const QString &fileName)
{
    QByteArray bytes;
    bytes.reserve(fileName.size());
    for (qsizetype i = 0; i < fileName.size(); ++i) {
        if (fileName.at(i) == QLatin1Char('%') && i + 2 < fileName.size() && hexValue(fileName.at(i + 1)) >= 0
            && hexValue(fileName.at(i + 2)) >= 0) {
            bytes += char(hexValue(fileName.at(i + 1)) * 16 + hexValue(fileName.at(i + 2)));
            i += 2;
        } else {
            bytes += QStringView(fileName).mid(i, 1).toUtf8();
        }
    }
    return QString::fromUtf8(bytes);
}

QList<Favourite> Favourites::list() const
{
    QList<Favourite> out;
    const QString path = folder();
    QDir dir(path);
    const QFileInfoList infos = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo &info : infos) {
        const QString name = info.fileName();
        if (name.startsWith(QLatin1Char('.')))
            continue;
        if (out.size() >= kMaxEntries)
            break;
        Favourite f;
        f.fileName = name;
        if (info.size() <= kMaxFileBytes) {
            const QStringList values = readIniValues(info.filePath(), kSection, {kNaam, kUrl, kWebsite});
            f.naam = values.at(0);
            f.url = values.at(1);
            f.website = values.at(2);
        }
        // A file that holds no name (written by hand, or emptied) is still listed, under
        // the name its file name stands for.
        if (f.naam.isEmpty())
            f.naam = nameFromFileName(name);
        out.append(f);
    }
    std::sort(out.begin(), out.end(), lessByName);
    return out;
}

FavouriteError Favourites::add(const QString &naam, const QString &url, const QString &website, QString *fileName) const
{
    if (naam.isEmpty())
        return FavouriteError::NoName;
    if (!ensureFolder())
        return FavouriteError::CannotWrite;
    const QString target = existingFileFor(naam);
    for (const auto &[key, value] : {std::pair {kNaam, naam}, {kUrl, url}, {kWebsite, website}}) {
        if (WriteINI(target, kSection, key, value) != IniWriteResult::Ok)
            return FavouriteError::CannotWrite;
    }
    if (fileName)
        *fileName = QFileInfo(target).fileName();
    return FavouriteError::None;
}

QString Favourites::existingFileFor(const QString &naam) const
{
    // An existing file of the same name in another case is the same favourite, as the
    // favourites folder has always been matched.
    const QString mapped = resolveIniPath(filePath(fileNameFor(naam)));
    if (QFileInfo::exists(mapped) || naam.contains(QLatin1Char('/')) || naam.contains(QChar(u'\0'))
        || naam == QLatin1String(".") || naam == QLatin1String("..") || naam.toUtf8().size() > kMaxFileNameBytes)
        return mapped;
    // Older installations named the file after the station unchanged, "%" and all. Such
    // a file is this favourite only when it holds this name: the same text may be the
    // escaped file name of another station ("50%2F50" for "50/50").
    const QString older = resolveIniPath(filePath(naam));
    const QFileInfo info(older);
    if (older == mapped || !info.isFile() || info.size() > kMaxFileBytes)
        return mapped;
    const QString held = readIniValues(older, kSection, {kNaam}).constFirst();
    return held.isEmpty() || held.compare(naam, Qt::CaseInsensitive) == 0 ? older : mapped;
}

FavouriteError Favourites::remove(const QString &fileName) const
{
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName == QLatin1String(".")
        || fileName == QLatin1String(".."))
        return FavouriteError::NotFound;
    QFile file(filePath(fileName));
    if (!file.exists())
        return FavouriteError::NotFound;
    return file.remove() ? FavouriteError::None : FavouriteError::CannotDelete;
}

Favourite Favourites::load(const QString &fileName, FavouriteError *error) const
{
    Favourite f;
    f.fileName = fileName;
    const QFileInfo info(filePath(fileName));
    FavouriteError result = FavouriteError::None;
    if (fileName.contains(QLatin1Char('/')) || !info.isFile())
        result = FavouriteError::NotFound;
    else if (info.size() > kMaxFileBytes || !info.isReadable())
        result = FavouriteError::CannotRead;
    if (result == FavouriteError::None) {
        const QStringList values = readIniValues(info.filePath(), kSection, {kNaam, kUrl, kWebsite});
        f.naam = values.at(0);
        f.url = values.at(1);
        f.website = values.at(2);
    }
    if (error)
        *error = result;
    return f;
}

FavouriteError Favourites::exportPlaylist(const QString &path, PlaylistFormat format) const
{
    QList<PlaylistEntry> entries;
    for (const Favourite &f : list())
        entries.append({f.naam, f.url});
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return FavouriteError::CannotWrite;
    const QByteArray bytes = writePlaylist(entries, format);
    if (out.write(bytes) != bytes.size() || !out.commit())
        return FavouriteError::CannotWrite;
    return FavouriteError::None;
}

PlaylistImportResult Favourites::importPlaylist(const QString &path) const
{
    PlaylistImportResult result;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > PlaylistLimits::kMaxFileBytes) {
        result.error = FavouriteError::CannotRead;
        return result;
    }
    const PlaylistParseResult parsed = parsePlaylist(file.read(PlaylistLimits::kMaxFileBytes));
    result.refused = parsed.refused;
    for (const PlaylistEntry &entry : parsed.entries) {
        const QString naam = entry.title.isEmpty() ? entry.url : entry.title;
        if (add(naam, entry.url, QString()) == FavouriteError::None) {
            ++result.added;
        } else {
            ++result.refused;
            result.error = FavouriteError::CannotWrite;
        }
    }
    return result;
}
