// Station and country lists as the directory server (or anyone on the path) sends them.

#include "LiteralTagParser.h"
#include "directory/TagParser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList tags = (size % 2) ? stationListTags() : countryListTags();

    // A bound small enough to be reached: either it is kept or the lists are empty.
    constexpr qsizetype kBound = 4096;
    bool overLimit = false;
    const QList<QStringList> bounded = parseTaggedFields(text, tags, &overLimit, kBound);
    qsizetype chars = 0;
    for (const QStringList &list : bounded) {
        for (const QString &field : list)
            chars += field.size();
    }
    if (chars > kBound || (overLimit && chars != 0))
        std::abort();

    // The reference scan is quadratic: only short texts are compared with it.
    if (text.size() <= 2048) {
        const QList<QStringList> expected = literal::parseTaggedFields(text, tags);
        if (parseTaggedFields(text, tags) != expected)
            std::abort();
        if (!overLimit && bounded != expected)
            std::abort();
    }
    return 0;
}
