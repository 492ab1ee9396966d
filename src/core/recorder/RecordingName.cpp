#include "recorder/RecordingName.h"

#include <QByteArray>
#include <QFile>

namespace {

constexpr qsizetype kMaxFileNameBytes = 255;

bool needsEscape(QChar c, bool first)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7f)
        return true;
    switch (u) {
    case u'/':
    case u'\\':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|':
    case u'%':
        return true;
    case u'.':
        return first;
    default:
        return false;
    }
}

QString withSeparator(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

} // namespace

QString safeFileName(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (needsEscape(c, i == 0))
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

QString textFromSafeFileName(const QString &fileName)
{
    // Every "%" in a mapped name begins an escape, since "%" itself is escaped.
    return QString::fromUtf8(QByteArray::fromPercentEncoding(fileName.toUtf8()));
}

QString proposedRecordingPath(const QString &folder, const QString &stationName, QTime time,
                              const QString &fallbackFolder)
{
    const QString tail = QStringLiteral(" %1.%2.mp3").arg(time.hour()).arg(time.minute());
    // A station name from the directory is untrusted text of any length.
    QString station = stationName.left(kMaxFileNameBytes);
    QString name;
    for (;;) {
        name = QStringLiteral("Opname ") + safeFileName(station) + tail;
        if (name.toUtf8().size() <= kMaxFileNameBytes || station.isEmpty())
            break;
        station.chop(station.size() >= 2 && station.back().isLowSurrogate() ? 2 : 1);
    }
    return withSeparator(folder.isEmpty() ? fallbackFolder : folder) + name;
}

namespace {

// Chops characters off text (never half a surrogate pair) until fits(text) holds.
template<typename Fits>
QString shortened(QString text, Fits fits)
{
    while (!text.isEmpty() && !fits(text))
        text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    return text;
}

constexpr qsizetype kNumberRoom = 7; // " (9999)"

} // namespace

QString numberedPath(const QString &path, int n)
{
    if (n <= 1)
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    const QString tail = QStringLiteral(" (%1)").arg(n) + suffix;
    const QString stem = shortened(dot > 0 ? name.left(dot) : name,
                                   [&](const QString &s) { return (s + tail).toUtf8().size() <= kMaxFileNameBytes; });
    return folder + stem + tail;
}

bool createNewFile(QFile &file, const QString &path)
{
    for (int n = 1; n < 10000; ++n) {
        file.setFileName(numberedPath(path, n));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!QFile::exists(file.fileName()))
            return false; // a folder that is missing or closed, not a name taken
    }
    return false;
}

QString renameToFree(const QString &from, const QString &path)
{
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = numberedPath(path, n);
        if (candidate == from)
            return from;
        // Refuses a name that exists, so nothing is replaced.
        if (QFile::rename(from, candidate))
            return candidate;
        if (!QFile::exists(candidate))
            return {};
    }
    return {};
}

QString songFileName(const QString &title, const QString &mark, const QString &extension)
{
    const QString tail = safeFileName(mark) + QLatin1Char('.') + extension;
    const QString name = shortened(title.left(kMaxFileNameBytes), [&](const QString &s) {
        return (safeFileName(s) + tail).toUtf8().size() <= kMaxFileNameBytes - kNumberRoom;
    });
    return safeFileName(name) + tail;
}

SongTitle splitStreamTitle(const QString &streamTitle)
{
    const qsizetype dash = streamTitle.indexOf(QLatin1String(" - "));
    if (dash < 0)
        return {{}, streamTitle.trimmed()};
    return {streamTitle.left(dash).trimmed(), streamTitle.mid(dash + 3).trimmed()};
}
