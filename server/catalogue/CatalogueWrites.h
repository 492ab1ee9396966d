#pragma once

// The catalogue's rows: replaced whole (or one country) in a transaction, read back for a
// snapshot, and the generation every change bumps so other processes notice it.

#include "catalogue/DirectoryStore.h"

#include <QSqlDatabase>

// Replaces the stations and countries (all but the local demo, or only onlyCountry) in
// one transaction; on failure nothing changed.
StoreResult writeCatalogue(QSqlDatabase db, const QList<CatalogueStation> &stations,
                           const QList<CatalogueCountry> &countries, const QString &onlyCountry);
// Stations in insertion order (the same for every process) with their play counts.
StoreResult readCatalogue(QSqlDatabase db, QList<CatalogueStation> *stations, QList<CatalogueCountry> *countries);
// Stores logos (one per station MD5, replacing) in one transaction, bumping the generation.
StoreResult writeLogoRows(QSqlDatabase db, const QList<StationLogo> &logos);
QHash<QString, QString> readLogoSources(QSqlDatabase db, StoreResult *result);
std::optional<StationLogo> readLogo(QSqlDatabase db, const QString &urlMd5, StoreResult *result);
// -1 when it cannot be read.
qint64 catalogueGeneration(QSqlDatabase db);
