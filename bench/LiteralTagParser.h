#pragma once

// The reference scan of the list format, step by step: positions from 1, every
// comparison done on a cut-out piece of the text, the closing tag searched from the
// opening tag's own position up to the last place where it still fits. Slow on
// purpose: the fast parser is checked against it, so it follows the steps rather than
// being clever. Letter case is folded for A-Z only.

#include <QList>
#include <QString>
#include <QStringList>

namespace literal {

// Mid$(s, start, length) with positions from 1: fewer characters near the end.
inline QString mid(const QString &s, qsizetype start, qsizetype length)
{
    if (start > s.size() || length <= 0)
        return QString();
    return s.mid(start - 1, length);
}

inline QString foldCase(QString s)
{
    for (QChar &c : s) {
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return s;
}

// piece is a cut-out of the text, pattern an already folded tag.
inline bool equalIgnoringCase(const QString &piece, const QString &foldedPattern)
{
    return foldCase(piece) == foldedPattern;
}

inline QList<QStringList> parseTaggedFields(const QString &s, const QStringList &tagNames)
{
    QList<QStringList> lists(tagNames.size());
    const qsizetype L = s.size();
    QStringList openings;
    QStringList closings;
    for (const QString &t : tagNames) {
        openings.append(foldCase(QLatin1Char('<') + t + QLatin1Char('>')));
        closings.append(foldCase(QStringLiteral("</") + t + QLatin1Char('>')));
    }
    for (qsizetype i = 1; i <= L; ++i) {
        for (qsizetype k = 0; k < tagNames.size(); ++k) {
            const qsizetype n = tagNames.at(k).size();
            if (!equalIgnoringCase(mid(s, i, n + 2), openings.at(k)))
                continue;
            const qsizetype start = i + n + 2;
            bool found = false;
            for (qsizetype j = i; j <= L - n - 2; ++j) {
                if (equalIgnoringCase(mid(s, j, n + 3), closings.at(k))) {
                    lists[k].append(mid(s, start, j - start));
                    found = true;
                    break;
                }
            }
            if (found)
                break; // the remaining tag names are skipped for this position
        }
    }
    return lists;
}

} // namespace literal
