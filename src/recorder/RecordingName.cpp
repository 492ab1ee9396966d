#include "RecordingName.h"

#include <QByteArray>

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
