#pragma once

// The DirectoryStore over QtSql (SQLite or PostgreSQL): a thin front that queues reports
// and hands everything touching the database to its own thread. The parts it is made of:
// DatabaseAddress (where and how to connect), SchemaMigrations, CatalogueWrites, Reports.

#include "catalogue/DatabaseAddress.h"
#include "catalogue/DirectoryStore.h"
#include "catalogue/SchemaMigrations.h"
