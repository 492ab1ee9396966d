#pragma once

#include "catalogue/DirectoryStore.h"

#include <memory>

// Builds the immutable snapshot every read is served from. Countries without stations are
// left out of the country lists; a country's names and list file name come from
// `countries` when present there, otherwise from CountryNames.
std::shared_ptr<const CatalogueSnapshot> buildSnapshot(QList<CatalogueStation> stations,
                                                       const QList<CatalogueCountry> &countries, int maxListChars = 0);
