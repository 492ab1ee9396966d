#include "player/Playlist.h"

#include "app/TextCodec.h"

#include <QMap>
#include <QStringList>
#include <QUrl>
#include <algorithm>

namespace {

// Titles are shown and stored as plain one-line text.
QString cleanTitle(const QString &raw)
{
    QString title;
    title.reserve(raw.size());
    for (const QChar c : raw)
        title += (c.unicode() < 0x20 || c.unicode() == 0x7f) ? QLatin1Char(' ') : c;
    return title.simplified().left(PlaylistLimits::kMaxTitleLength);
}

bool acceptableUrl(const QString &text)
{
    if (text.isEmpty() || text.size() > PlaylistLimits::kMaxUrlLength)
        return false;
    for (const QChar c : text) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f)
            return false;
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

void addEntry(PlaylistParseResult &result, const QString &title, const QString &url)
{
    const QString trimmed = url.trimmed();
    if (result.entries.size() >= PlaylistLimits::kMaxEntries || !acceptableUrl(trimmed)) {
        ++result.refused;
        return;
    }
    result.entries.append({cleanTitle(title), trimmed});
}

QStringList splitLines(const QByteArray &bytes)
{
    QString text = decodeUtf8OrWindows1252(bytes.left(PlaylistLimits::kMaxFileBytes));
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

PlaylistParseResult parseM3u(const QStringList &lines)
{
    PlaylistParseResult result;
    QString title;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('#'))) {
            // "#EXTINF:<seconds> <attributes>,<title>": the title follows the first comma.
            if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) {
                const qsizetype comma = line.indexOf(QLatin1Char(','));
                title = comma < 0 ? QString() : line.mid(comma + 1);
            }
            continue;
        }
        addEntry(result, title, line);
        title.clear();
    }
    return result;
}

PlaylistParseResult parsePls(const QStringList &lines)
{
    // Entries are numbered; File and Title of one number may come in any order, and
    // numbers need not be contiguous. Bounded by the entry limit of distinct numbers.
    QMap<qint64, std::pair<QString, QString>> numbered; // number -> (file, title)
    PlaylistParseResult result;
    bool inPlaylist = false;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inPlaylist = line.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inPlaylist || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        const bool isFile = key.startsWith(QLatin1String("file"));
        const bool isTitle = key.startsWith(QLatin1String("title"));
        if (!isFile && !isTitle)
            continue;
        bool ok = false;
        const qint64 number = key.mid(isFile ? 4 : 5).toLongLong(&ok);
        if (!ok)
            continue;
        if (!numbered.contains(number) && numbered.size() >= PlaylistLimits::kMaxEntries) {
            ++result.refused;
            continue;
        }
        auto &slot = numbered[number];
        (isFile ? slot.first : slot.second) = value;
    }
    for (const auto &[file, title] : std::as_const(numbered)) {
        if (file.isEmpty())
            continue; // a title without its file names nothing
        addEntry(result, title, file);
    }
    return result;
}

} // namespace

PlaylistParseResult parsePlaylist(const QByteArray &bytes)
{
    const QStringList lines = splitLines(bytes);
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (trimmed.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0)
            return parsePls(lines);
        if (!trimmed.startsWith(QLatin1Char('#')) && !trimmed.startsWith(QLatin1Char('[')))
            break; // M3U content came first
    }
    return parseM3u(lines);
}

QByteArray writePlaylist(const QList<PlaylistEntry> &list, PlaylistFormat format)
{
    // An address that would break the line structure is left out rather than written
    // as a second, different entry.
    QList<PlaylistEntry> entries;
    for (const PlaylistEntry &e : list) {
        const bool oneLine = std::none_of(e.url.cbegin(), e.url.cend(), [](QChar c) { return c.unicode() < 0x20; });
        if (!e.url.isEmpty() && oneLine)
            entries.append(e);
    }
    QByteArray out;
    if (format == PlaylistFormat::M3u) {
        out += "#EXTM3U\n";
        for (const PlaylistEntry &e : entries)
            out += "#EXTINF:-1," + cleanTitle(e.title).toUtf8() + '\n' + e.url.toUtf8() + '\n';
        return out;
    }
    out += "[playlist]\n";
    qsizetype n = 0;
    for (const PlaylistEntry &e : entries) {
        const QByteArray number = QByteArray::number(++n);
        out += "File" + number + '=' + e.url.toUtf8() + '\n';
        out += "Title" + number + '=' + cleanTitle(e.title).toUtf8() + '\n';
        out += "Length" + number + "=-1\n";
    }
    out += "NumberOfEntries=" + QByteArray::number(n) + "\nVersion=2\n";
    return out;
}

PlaylistFormat playlistFormatForFileName(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".pls"), Qt::CaseInsensitive) ? PlaylistFormat::Pls : PlaylistFormat::M3u;
}
