#pragma once

// What clients report (plays, recorder failures, first runs, broken stations), written
// in batches on the store's thread, and the reads the pages and the command line make.

#include "catalogue/DirectoryStore.h"

#include <QSqlDatabase>

namespace Reports {

struct Play
{
    QString md5;
    QString client; // keyed digest
    qint64 at;
};
struct Failure
{
    QString md5;
    QString url;
    QString client;
    qint64 at;
};
struct FirstRun
{
    QString client;
    qint64 at;
};
struct Broken
{
    BrokenReport report;
    QString client;
};

// Reports waiting for the next batch, with what they hold in bytes (the queue's bound).
struct Pending
{
    QList<Play> plays;
    QList<Failure> failures;
    QList<FirstRun> firstRuns;
    QList<Broken> reports;
    qint64 bytes = 0;

    int size() const { return int(plays.size() + failures.size() + firstRuns.size() + reports.size()); }
    void append(Pending &&later);
};

// Rough size of one queued report: its texts (UTF-16) and the list entry around them.
qint64 footprint(const QString &a, const QString &b = {}, const QString &c = {}, const QString &d = {});

// A play counts at most once per client and station in this window.
inline constexpr qint64 kPlayWindowMs = 3600 * 1000;

// Writes the batch in one transaction; *counted is the plays that counted. False (and
// nothing written) with the database's message.
bool write(QSqlDatabase db, const Pending &batch, int *counted, QString *error);

struct Cache
{
    QList<BrokenReport> recent; // newest first, open or handled
    QList<BrokenReport> handled; // most recently handled first
    DirectoryStore::Counts counts;
};
bool readCache(QSqlDatabase db, int limit, Cache *cache);

// Open reports, oldest first, with their ids.
bool readOpen(QSqlDatabase db, int limit, QList<BrokenReport> *reports, QString *error);
// Marks the open ones among ids handled now; *marked is how many were.
bool markHandled(QSqlDatabase db, const QList<qint64> &ids, qint64 now, int *marked, QString *error);

// Drops what is no longer needed: play marks past the window, broken-station reports
// and recorder failures after kKeepDays.
inline constexpr int kKeepDays = 90;
void prune(QSqlDatabase db, qint64 now);

} // namespace Reports
