#pragma once

// The directory's tables and their migrations, and the deployment's secret kept with them.

#include "catalogue/DirectoryStore.h"

#include <QByteArray>
#include <QSqlDatabase>

// The schema version this build writes; a database with a higher one is refused
// (StoreError::SchemaTooNew) rather than half understood.
inline constexpr int kDirectorySchemaVersion = 5;

// Brings the database to kDirectorySchemaVersion. Processes started together on one
// empty database take turns: on PostgreSQL under an advisory lock, on SQLite under an
// immediate (write) transaction per step, each step re-reading the version first.
StoreResult migrateSchema(QSqlDatabase db, bool postgres);

// The key of the client digests: made once, at the first start on a database, and kept
// in it, so that every process of a deployment digests a client alike and a stored
// digest cannot be reversed by trying every IPv4 address without it.
QByteArray deploymentSecret(QSqlDatabase db, StoreResult *result);
