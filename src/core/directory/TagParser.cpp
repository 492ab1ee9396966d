#include "directory/TagParser.h"

#include <algorithm>
#include <vector>

namespace {

char16_t foldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
}

// pattern is already folded; text is folded on the fly.
bool matchesAt(QStringView text, qsizetype pos, QStringView pattern)
{
    if (pos + pattern.size() > text.size())
        return false;
    const char16_t *t = text.utf16() + pos;
    const char16_t *p = pattern.utf16();
    for (qsizetype k = 0; k < pattern.size(); ++k) {
        if (foldAscii(t[k]) != p[k])
            return false;
    }
    return true;
}

QString foldedAscii(const QString &s)
{
    QString out = s;
    for (QChar &c : out)
        c = QChar(foldAscii(c.unicode()));
    return out;
}

struct Tag
{
    QString opening; // "<name>", folded
    QString closing; // "</name>", folded
    std::vector<qsizetype> closings; // start of every closing tag, ascending
    std::size_t nextClosing = 0; // first entry of closings not yet behind the scan
};

} // namespace

QList<QStringList> parseTaggedFields(const QString &text, const QStringList &tagNames, bool *overLimit,
                                     qsizetype maxFieldChars)
{
    if (overLimit)
        *overLimit = false;
    QList<QStringList> lists(tagNames.size());
    if (tagNames.isEmpty() || text.isEmpty())
        return lists;

    std::vector<Tag> tags(tagNames.size());
    for (qsizetype k = 0; k < tagNames.size(); ++k) {
        const QString name = foldedAscii(tagNames.at(k));
        tags[k].opening = QLatin1Char('<') + name + QLatin1Char('>');
        tags[k].closing = QStringLiteral("</") + name + QLatin1Char('>');
    }

    // Every tag starts with "<", so only those positions need a look. The first pass
    // finds the closing tags, so the second can pair each opening tag with the next
    // closing tag in constant time instead of scanning the field again.
    const QStringView view(text);
    std::vector<qsizetype> angles;
    for (qsizetype pos = view.indexOf(u'<'); pos >= 0; pos = view.indexOf(u'<', pos + 1)) {
        angles.push_back(pos);
        if (pos + 1 < view.size() && view[pos + 1] == u'/') {
            for (Tag &tag : tags) {
                if (matchesAt(view, pos, tag.closing))
                    tag.closings.push_back(pos);
            }
        }
    }

    qsizetype fieldChars = 0;
    for (const qsizetype pos : angles) {
        for (std::size_t k = 0; k < tags.size(); ++k) {
            Tag &tag = tags[k];
            if (!matchesAt(view, pos, tag.opening))
                continue;
            // A closing tag cannot start inside an opening tag whose name holds no "<",
            // so the next one at or after pos is the first one after the opening tag.
            while (tag.nextClosing < tag.closings.size() && tag.closings[tag.nextClosing] < pos)
                ++tag.nextClosing;
            if (tag.nextClosing == tag.closings.size())
                continue; // no field here for this name; a later name may still match
            const qsizetype start = pos + tag.opening.size();
            const qsizetype end = std::max(start, tag.closings[tag.nextClosing]);
            fieldChars += end - start;
            if (fieldChars > maxFieldChars) {
                if (overLimit)
                    *overLimit = true;
                return QList<QStringList>(tagNames.size());
            }
            lists[qsizetype(k)].append(text.mid(start, end - start));
            break;
        }
    }
    return lists;
}

QStringList stationListTags()
{
    return {QStringLiteral("naam"), QStringLiteral("url"), QStringLiteral("homepage")};
}

QStringList countryListTags()
{
    return {QStringLiteral("naam"), QStringLiteral("bestand")};
}

StationListText parseStationList(const QString &text)
{
    bool overLimit = false;
    QList<QStringList> lists = parseTaggedFields(text, stationListTags(), &overLimit);
    return {std::move(lists[0]), std::move(lists[1]), std::move(lists[2]), overLimit};
}

CountryListText parseCountryList(const QString &text)
{
    bool overLimit = false;
    QList<QStringList> lists = parseTaggedFields(text, countryListTags(), &overLimit);
    return {std::move(lists[0]), std::move(lists[1]), overLimit};
}
