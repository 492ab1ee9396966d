#pragma once

#include "catalogue/DirectoryStore.h"

#include <QJsonArray>

// Reading station catalogues: the radio-browser JSON station format (an array of station
// objects, as its API serves them) and the CSV export with a header row. Stations without
// a usable http or https stream URL or without a country are skipped; text is cleaned
// (line breaks, tabs and control characters become blanks, invalid UTF-8 becomes U+FFFD).
namespace Importer {

struct Result
{
    QList<CatalogueStation> stations;
    QList<CatalogueCountry> countries; // names the file carried, per code
    int skipped = 0;
    StoreResult status;
};

Result readFile(const QString &path);
Result readJson(const QByteArray &data);
Result readJsonArray(const QJsonArray &stations);
Result readCsv(const QByteArray &data);
// Parses data as JSON when it starts with "[" or "{" (after blanks), else as CSV.
Result readData(const QByteArray &data);

// Cleans one station in place; false when it cannot be served (no usable URL or country).
bool normalise(CatalogueStation &station);
QString cleanText(const QString &text);
bool isUsableStreamUrl(const QString &url);

// Merges several results: one station per country and stream URL (the first seen wins).
Result merge(const QList<Result> &parts);

} // namespace Importer
