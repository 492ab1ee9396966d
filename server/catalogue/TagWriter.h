#pragma once

// Writing the tagged-field lists the player parses. Very old players kept text positions
// in 16-bit counters and could not parse a list longer than kMaxListChars characters; a
// store may be told to cut lists to whole records below that size, best records first.

#include "catalogue/DirectoryStore.h"

inline constexpr int kMaxListChars = 32767;
inline constexpr qsizetype kGzipMinimum = 256;

namespace TagWriter {

// A value as it may appear between tags: "<" and ">" become "‹" and "›", line breaks,
// tabs and other control characters become blanks.
QString cleanValue(const QString &value);
// The home page as the player wants it: the player puts "http://" in front itself.
QString homepageForList(const QString &homepage);
QByteArray etagFor(const QByteArray &body);
// The body with its tag, and its gzip form when that is smaller.
ListBody makeBody(QByteArray body);
QByteArray renderCountryList(const QList<const CatalogueCountry *> &countries, Language language);

} // namespace TagWriter
