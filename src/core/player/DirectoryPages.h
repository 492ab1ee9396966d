#pragma once

#include <QString>
#include <QUrl>

// The directory server's addresses that the main window builds: its web pages, the
// report request and the recordable-address question. Every inserted value is
// percent-encoded, so a station name holding "&" or a stream URL holding "#" arrives whole.
namespace DirectoryPages {

constexpr auto kVersion = "3.0";

QUrl homePage(const QUrl &base, const QString &language);
QUrl aboutPage(const QUrl &base, const QString &language);
// The broken-station form, filled with the station that failed.
QUrl problemPage(const QUrl &base, const QString &language, const QString &streamUrl, const QString &stationName,
                 const QString &countryName);
// The report channel's request for one report text ("zender_" + URL, "shoutc_" + URL).
QUrl report(const QUrl &base, const QString &text);
// The ask service keyed by the MD5 of the stream URL.
QUrl ask(const QUrl &base, const QString &streamUrl);
// The recordable address in an ask reply: everything after its first character (the
// server puts a line break first); empty when nothing follows it.
QString recordableAddress(const QString &reply);
// The station's own site as the system browser should open it: the list keeps home
// pages without their scheme, so "http://" goes in front of what has none. Only web
// addresses are handed on; anything else gives an invalid URL.
QUrl stationSite(const QString &radioUrl);

} // namespace DirectoryPages
