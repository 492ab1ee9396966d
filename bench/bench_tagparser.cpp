// Times the station-list parser on a list the size of the largest countries, next to
// the step-by-step reference scan, and checks that both give the same lists.
//
//   bench_tagparser [--quick] [--stations N] [--runs N] [--literal-runs N]

#include "LiteralTagParser.h"
#include "directory/TagParser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QString pick(QRandomGenerator &random, const QStringList &words)
{
    return words.at(random.bounded(words.size()));
}

// Names mix scripts and accents as real lists do, so the text is not plain ASCII.
QString generateList(int stations)
{
    const QStringList first = {"Radio",  "Rádio", "Радио",  "Ράδιο",  "Radyo",  "Raadio",  "Rádió",
                               "ラジオ", "电台",  "Sender", "Omroep", "Stacja", "Emisora", "FM"};
    const QStringList second = {"Zürich",        "Łódź",      "Bärnbach",     "Café Olé", "Søndre",
                                "Kraków",        "São Paulo", "Ελλάδα",       "Москва",   "東京",
                                "Ñuñoa",         "Hits",      "Jazz & Blues", "Klassiek", "Noord-Holland",
                                "Île-de-France", "Kultur",    "Nostalgie",    "1 Live",   "Ö3"};
    const QStringList hosts = {"streams.radio-example", "live.omroep-example", "icecast.stad-example",
                               "cdn.audio-example",     "shout.fm-example",    "media.zender-example"};
    const QStringList formats = {"mp3", "aac", "ogg", "m3u8", "pls"};

    QRandomGenerator random(20240611u);
    QString text;
    text.reserve(qsizetype(stations) * 180);
    for (int n = 1; n <= stations; ++n) {
        const QString host = pick(random, hosts);
        const QString name = pick(random, first) + QLatin1Char(' ') + pick(random, second) + QLatin1Char(' ')
            + QString::number(80 + random.bounded(2000) / 10.0, 'f', 1);
        const QString url = QStringLiteral("http://s%1.%2.nl:%3/%4/live-%5kbps.%6")
                                .arg(random.bounded(40))
                                .arg(host)
                                .arg(8000 + random.bounded(100))
                                .arg(n)
                                .arg(32 * (1 + random.bounded(10)))
                                .arg(pick(random, formats));
        const QString homepage = QStringLiteral("https://www.%1.nl/station-%2/").arg(host).arg(n);
        text += QStringLiteral("<naam>") + name + QStringLiteral("</naam><url>") + url
            + QStringLiteral("</url><homepage>") + homepage + QStringLiteral("</homepage>\r\n");
    }
    return text;
}

struct Timing
{
    double medianMs = 0;
    QList<QStringList> lists;
};

Timing timeRuns(int runs, const std::function<QList<QStringList>()> &parse)
{
    Timing timing;
    std::vector<double> ms;
    for (int k = 0; k < runs; ++k) {
        QElapsedTimer clock;
        clock.start();
        timing.lists = parse();
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    timing.medianMs = ms[ms.size() / 2];
    return timing;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("--quick"));
    auto option = [&args](const char *name, int fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return (at >= 0 && at + 1 < args.size()) ? std::max(1, args.at(at + 1).toInt()) : fallback;
    };
    const int stations = option("--stations", quick ? 1000 : 30000);
    const int runs = option("--runs", quick ? 3 : 15);
    const int literalRuns = option("--literal-runs", quick ? 1 : 3);

    const QString text = generateList(stations);
    const QStringList tags = stationListTags();
    std::printf("list: %d stations, %.2f MB as UTF-8, %lld characters\n", stations, double(text.toUtf8().size()) / 1e6,
                static_cast<long long>(text.size()));

    parseTaggedFields(text, tags); // warm caches and the allocator
    const Timing product = timeRuns(runs, [&] { return parseTaggedFields(text, tags); });
    const Timing literal = timeRuns(literalRuns, [&] { return literal::parseTaggedFields(text, tags); });

    const bool identical = product.lists == literal.lists;
    const bool complete = product.lists.size() == 3 && product.lists.at(0).size() == stations
        && product.lists.at(1).size() == stations && product.lists.at(2).size() == stations;
    const double ratio = literal.medianMs / std::max(product.medianMs, 1e-6);

    std::printf("parser:       %9.3f ms per parse (median of %d)\n", product.medianMs, runs);
    std::printf("literal scan: %9.3f ms per parse (median of %d), the reference\n", literal.medianMs, literalRuns);
    std::printf("speed-up:     %9.1f x\n", ratio);
    std::printf("same lists:   %s; every station found: %s\n", identical ? "yes" : "NO", complete ? "yes" : "NO");
    if (!quick) {
        std::printf("targets:      <= 20 ms per parse: %s; >= 100 x the literal scan: %s\n",
                    product.medianMs <= 20.0 ? "met" : "MISSED", ratio >= 100.0 ? "met" : "MISSED");
    }
    return identical && complete ? 0 : 1;
}
