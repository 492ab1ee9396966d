// Lists and loads a favourites folder of N stations, next to the same work done with
// one case-insensitive ReadINI lookup per value (each of which lists the folder), and
// checks that both see the same favourites.
//
//   bench_favourites [--quick] [--favourites N]

#include "app/IniFile.h"
#include "player/Favourites.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int count = args.contains(QStringLiteral("--quick")) ? 50 : 1000;
    if (const qsizetype i = args.indexOf(QStringLiteral("--favourites")); i >= 0 && i + 1 < args.size())
        count = args.at(i + 1).toInt();

    QTemporaryDir home;
    const Favourites store(home.path());
    for (int i = 0; i < count; ++i) {
        const QString naam = QStringLiteral("Zender %1 / Caf\u00e9 FM").arg(i, 4, 10, QLatin1Char('0'));
        if (store.add(naam, QStringLiteral("http://s%1.example/live").arg(i), QStringLiteral("http://h.example/"))
            != FavouriteError::None) {
            std::fprintf(stderr, "could not write favourite %d\n", i);
            return 1;
        }
    }

    QElapsedTimer timer;
    timer.start();
    const QList<Favourite> listed = store.list();
    const double listing = timer.nsecsElapsed() / 1e6;
    qint64 loaded = 0;
    for (const Favourite &f : listed)
        loaded += store.load(f.fileName).url.size();
    const double ours = timer.nsecsElapsed() / 1e6;

    // The reference: every value looked up by name through ReadINI.
    timer.restart();
    qint64 reference = 0;
    for (const Favourite &f : listed) {
        const QString path = store.folder() + QLatin1Char('/') + f.fileName;
        ReadINI(path, QStringLiteral("Internet"), QStringLiteral("naam"));
        reference += ReadINI(path, QStringLiteral("Internet"), QStringLiteral("url")).size();
        ReadINI(path, QStringLiteral("Internet"), QStringLiteral("website"));
    }
    const double lookups = timer.nsecsElapsed() / 1e6;

    std::printf("favourites: %d\n", int(listed.size()));
    std::printf("list (folder read once):               %8.1f ms\n", listing);
    std::printf("list + load each:                      %8.1f ms\n", ours);
    std::printf("ReadINI per value (folder per lookup): %8.1f ms\n", lookups);
    if (listed.size() != count || loaded != reference) {
        std::fprintf(stderr, "the two ways disagree\n");
        return 1;
    }
    return 0;
}
