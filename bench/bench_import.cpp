// bench_import [CSV] [DATABASE]: times the catalogue import of the shared station CSV (or
// CSV) into a fresh SQLite file (or DATABASE), next to a plain line count of the same file
// as the floor, then the search over the resulting snapshot.

#include "catalogue/DirectoryStore.h"
#include "catalogue/Importer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

double seconds(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString csv = args.value(1, QStringLiteral(NORVALE_SHARED_DATA "/stations/stations.csv"));
    QTemporaryDir dir;
    const QString database = args.value(2, dir.filePath(QStringLiteral("bench.db")));

    QElapsedTimer t;
    t.start();
    QFile file(csv);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(csv));
        return 1;
    }
    qint64 lines = 0;
    while (!file.atEnd()) {
        file.readLine();
        ++lines;
    }
    const double lineCount = seconds(t);

    t.restart();
    const Importer::Result parsed = Importer::readFile(csv);
    const double parse = seconds(t);

    StoreResult r;
    t.restart();
    auto store = DirectoryStore::open(database, &r);
    if (!store) {
        std::fprintf(stderr, "%s\n", qPrintable(r.message));
        return 1;
    }
    const double open = seconds(t);
    t.restart();
    r = store->importFiles({csv});
    const double import = seconds(t);
    if (!r.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(r.message));
        return 1;
    }
    const auto snapshot = store->snapshot();

    std::printf("file: %s (%lld lines)\n", qPrintable(csv), lines);
    std::printf("reference, QFile line count:   %8.3f s\n", lineCount);
    std::printf("parse only (Importer):         %8.3f s  %lld stations\n", parse, qint64(parsed.stations.size()));
    std::printf("open empty store:              %8.3f s\n", open);
    std::printf("import (parse, write, snapshot): %6.3f s  %d stations, %lld countries\n", import,
                snapshot->stationCount(), qint64(snapshot->countries().size()));

    // Search: single words taken from station names, two-word queries, a country filter.
    const QList<const CatalogueStation *> all = snapshot->popular(snapshot->stationCount());
    QList<QPair<QString, QString>> queries;
    QRandomGenerator random(42);
    for (int i = 0; i < 2000; ++i) {
        const CatalogueStation *s = all.at(int(random.bounded(qint64(all.size()))));
        const QStringList words = s->name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QString q = words.value(int(random.bounded(qint64(words.size()))));
        if (i % 3 == 1)
            q += QLatin1Char(' ') + words.value(0);
        QString country;
        if (i % 4 == 3)
            country =
                snapshot->countries().at(int(random.bounded(qint64(snapshot->countries().size()))))->bestand.chopped(4);
        queries.append({q, country});
    }
    queries.append({QStringLiteral("radio"), QString()});
    queries.append({QStringLiteral("a"), QString()});
    std::vector<double> ms;
    for (const auto &[words, country] : std::as_const(queries)) {
        t.restart();
        const auto hits = snapshot->search(words, country, 300);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        Q_UNUSED(hits)
    }
    std::sort(ms.begin(), ms.end());
    const auto pct = [&](double p) {
        return ms.at(std::min(ms.size() - 1, size_t(p * double(ms.size()))));
    };
    std::printf("search, %zu queries, limit 300: p50 %.3f ms  p99 %.3f ms  max %.3f ms (target p99 <= 10 ms)\n",
                ms.size(), pct(0.50), pct(0.99), ms.back());
    return 0;
}
