#pragma once

// The catalogue's rows: replaced whole (or one country) in a transaction, read back for a
// snapshot, and the generation every change bumps so other processes notice it.

#include "DirectoryStore.h"

#include <QSqlDatabase>

// Replaces the stations and countries (all but the local demo, or only onlyCountry) in
// one transaction; on failure nothing changed.
StoreResult writeCatalogue(QSqlDatabase db, const QList<CatalogueStation> &stations,
                           const QList<CatalogueCountry> &countries, const QString &onlyCountry);
// Stations in insertion order (the same for every process) with their play counts.
StoreResult readCatalogue(QSqlDatabase db, QList<CatalogueStation> *stations, QList<CatalogueCountry> *countries);
// -1 when it cannot be read.
qint64 catalogueGeneration(QSqlDatabase db);
