#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The directory server's list format: fields written as "<name>text</name>", anything
// outside a field ignored. One list comes back per tag name, in the order the names
// are given; the n-th field of a name is entry n of its list, and the lists are not
// checked against each other.
//
// The results are those of the long-standing scan, quirks included, because older
// servers and hand-made lists rely on them:
// - names are compared with ASCII letters folded (A-Z equal a-z, nothing else folded);
//   field text is kept verbatim (case, blanks, line breaks, entities);
// - a field ends at the first closing tag of its name that follows the opening tag;
// - after a field, scanning resumes one character after its "<", so a field holding a
//   complete field of the same set yields that inner field as well;
// - an opening tag without a closing tag of its own runs to the next closing tag of its
//   name further on; when none follows, nothing is added for it;
// - at one position the names are tried in order and the first one that yields a field
//   wins.
// The work is linear in the text length plus the size of the result, and there is no
// length limit. Tag names must not contain "<" (every name in use is a plain word).
QList<QStringList> parseTaggedFields(const QString &text, const QStringList &tagNames);

// Tag names of a country's station list and of search results: name, stream, home page.
QStringList stationListTags();
// Tag names of the country lists: display name, list file name.
QStringList countryListTags();

struct StationListText
{
    QStringList naam; // station names
    QStringList url; // stream URLs
    QStringList homepage; // home pages
};

struct CountryListText
{
    QStringList naam; // display names
    QStringList bestand; // list file names
};

StationListText parseStationList(const QString &text);
CountryListText parseCountryList(const QString &text);
