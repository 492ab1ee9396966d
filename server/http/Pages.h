#pragma once

// The HTML pages the player shows in its web view. They are small HTML 4 with simple
// CSS, no forms and no scripts, so that the light QTextBrowser-based view renders them
// as well as a full browser engine. Every value is HTML-escaped; links carry their
// values percent-encoded and are relative, so the pages work below any base URL.

#include "catalogue/DirectoryStore.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace Pages {

// The report reasons in link order with their query value ("reden").
QByteArray reasonKey(ReportReason reason);
std::optional<ReportReason> reasonFromKey(const QString &key);
QString reasonText(ReportReason reason, Language language);

// handledReports: the reports most recently marked handled, shown with that date.
QByteArray home(Language language, const CatalogueSnapshot &snapshot, const QList<BrokenReport> &handledReports);
QByteArray about(Language language, const CatalogueSnapshot &snapshot);

struct ReportSubject
{
    QString url;
    QString stationName;
    QString countryName;
};
// The problem page: which station, and one link per reason that stores the report.
QByteArray reportForm(Language language, const ReportSubject &subject);
QByteArray reportThanks(Language language, const ReportSubject &subject, ReportReason reason);
enum class Refusal { Invalid, TooMany, UnknownStation };
QByteArray reportRefused(Language language, Refusal why);
// No language is known on the first run: the page then greets in both.
QByteArray firstRun(std::optional<Language> language);

} // namespace Pages
