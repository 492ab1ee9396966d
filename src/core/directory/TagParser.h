#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The directory server's list format: fields written as "<name>text</name>", anything
// outside a field ignored. One list comes back per tag name, in the order the names
// are given; the n-th field of a name is entry n of its list, and the lists are not
// checked against each other.
//
// The results keep these rules, quirks included, because servers and hand-made lists rely
// on them:
// - names are compared with ASCII letters folded (A-Z equal a-z, nothing else folded);
//   field text is kept verbatim (case, blanks, line breaks, entities);
// - a field ends at the first closing tag of its name that follows the opening tag;
// - after a field, scanning resumes one character after its "<", so a field holding a
//   complete field of the same set yields that inner field as well;
// - an opening tag without a closing tag of its own runs to the next closing tag of its
//   name further on; when none follows, nothing is added for it;
// - at one position the names are tried in order and the first one that yields a field
//   wins.
// Tag names must not contain "<" (every name in use is a plain word).
//
// Fields may overlap (an opening tag without its own closing tag takes everything up to
// the next one), so a small hostile text can describe fields far larger than itself.
// All fields together may hold at most maxFieldChars characters: a text that would
// exceed that yields empty lists and sets *overLimit, so the work and the memory stay
// linear in the text length plus the bound. Under the bound the results are unchanged.
constexpr qsizetype kMaxTaggedFieldChars = 8 * 1024 * 1024;
QList<QStringList> parseTaggedFields(const QString &text, const QStringList &tagNames, bool *overLimit = nullptr,
                                     qsizetype maxFieldChars = kMaxTaggedFieldChars);

// Tag names of a country's station list and of search results: name, stream, home page.
QStringList stationListTags();
// Tag names of the country lists: display name, list file name.
QStringList countryListTags();

struct StationListText
{
    QStringList naam; // station names
    QStringList url; // stream URLs
    QStringList homepage; // home pages
    bool overLimit = false; // the fields would exceed kMaxTaggedFieldChars; the lists are empty
};

struct CountryListText
{
    QStringList naam; // display names
    QStringList bestand; // list file names
    bool overLimit = false; // as in StationListText
};

StationListText parseStationList(const QString &text);
CountryListText parseCountryList(const QString &text);
