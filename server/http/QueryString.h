#pragma once

// Query values as the player sends them (UTF-8, percent-encoded) and as older clients
// sent them (raw: blanks and "&" inside a value). A value whose bytes are not UTF-8 is
// reported as such, so nothing undecodable is stored or echoed.

#include <QByteArray>
#include <QString>
#include <optional>

// Percent-decodes and reads the bytes as UTF-8; "+" stays a plus sign (the player encodes
// blanks as %20, and old clients sent "+" as it is). A "%" not followed by two hex digits
// is kept as it stands. nullopt when the result is not valid UTF-8.
std::optional<QString> percentDecode(QByteArrayView text);

class QueryString final
{
public:
    explicit QueryString(QByteArray raw);

    // The first key=value pair of that key, split on "&"; empty when absent or undecodable.
    QString value(QByteArrayView key) const;
    bool contains(QByteArrayView key) const;
    // The raw text from "key=" (at the start or after "&") up to the "&next=" that follows
    // it (the first one, or the last one when lastMarker), decoded. nullopt when the query
    // does not hold both markers in that order or the text is not UTF-8.
    std::optional<QString> valueUpTo(QByteArrayView key, QByteArrayView next, bool lastMarker = false) const;
    // Like value(), but says when the value was present and not decodable.
    std::optional<QString> strictValue(QByteArrayView key) const;

    const QByteArray &raw() const { return m_raw; }

private:
    qsizetype valueStart(QByteArrayView key) const;

    QByteArray m_raw;
};
