#pragma once

// Country names and list file names for ISO 3166-1 alpha-2 codes. The list file name
// ("bestand") is part of what players remember between runs, so its rule never changes:
// the English name folded to lower-case ASCII letters and digits, plus ".txt"; the
// Netherlands keep the historic "holland.txt".

#include <QString>

namespace CountryNames {

inline constexpr char kLocalDemoCode[] = "ZZ";

struct Names
{
    QString english;
    QString dutch;
};

// Names for a code; a code without an entry gets fallbackEnglish (or the code) in both.
Names namesFor(const QString &code, const QString &fallbackEnglish = {});
// The code whose English name is this (case-insensitive), or empty; for records that carry
// only a free-text country.
QString codeForEnglishName(const QString &englishName);
QString bestandFor(const QString &code, const QString &englishName);
// Lower-case ASCII letters and digits of a text, accents dropped ("Côte d'Ivoire" → "cotedivoire").
QString asciiKey(const QString &text);

} // namespace CountryNames
