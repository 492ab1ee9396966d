// A stream whose Icecast source stops and comes back at a fixed period: the player must
// resume each time by itself, and its memory must not grow.
//
//   bench_soak [--period-s 30] [--total-s 600] [--max-growth-kib 2048]
//
// A stream that played less than the reconnect policy's "stable" time does not earn
// fresh attempts, so periods below about 12 s end in a failure by design.

#include "engine/MpvPlayer.h"
#include "support/EngineProcess.h"
#include "support/IcecastServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <cstdio>

namespace {

qint64 rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QTest::qSleep(20);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    prepareEngineProcess();
    const QStringList args = app.arguments();
    const auto option = [&](const char *name, int fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at >= 0 ? args.value(at + 1).toInt() : fallback;
    };
    const int periodMs = option("--period-s", 30) * 1000;
    const int totalMs = option("--total-s", 600) * 1000;
    const int maxGrowthKiB = option("--max-growth-kib", 2048);

    if (const QString missing = IcecastServer::missingTools(); !missing.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(missing));
        return 0;
    }
    IcecastServer icecast;
    if (const QString why = icecast.start(); !why.isEmpty()) {
        std::fprintf(stderr, "the test stream did not start: %s\n", qPrintable(why));
        return 1;
    }
    MpvPlayer player(QStringLiteral("ao=null"));
    int errors = 0;
    QObject::connect(&player, &MediaPlayer::error, [&] { ++errors; });
    player.setUrl(icecast.streamUrl());
    const auto playing = [&] {
        return player.playState() == PlayState::Playing;
    };
    if (!waitFor(playing, 15000)) {
        std::fprintf(stderr, "the stream never played\n");
        return 1;
    }
    // Settle first: the engine's buffers and the first connection's allocations.
    waitFor([] { return false; }, qMin(periodMs, 10000));
    const qint64 rssStart = rssKiB();

    int cycles = 0;
    QStringList perCycle; // growth after each cycle, KiB
    int resumed = 0;
    qint64 slowestMs = 0;
    QElapsedTimer total;
    total.start();
    while (total.elapsed() + periodMs <= totalMs) {
        ++cycles;
        icecast.stopSource();
        waitFor([&] { return !playing(); }, 15000);
        waitFor([] { return false; }, periodMs / 6); // the source stays away a while
        icecast.startSource();
        QElapsedTimer back;
        back.start();
        if (waitFor(playing, periodMs)) {
            ++resumed;
            slowestMs = qMax(slowestMs, back.elapsed());
        }
        waitFor([] { return false; }, qMax(0, periodMs - int(back.elapsed()) - periodMs / 6));
        perCycle.append(QString::number(rssKiB() - rssStart));
    }
    const qint64 rssEnd = rssKiB();
    const qint64 growthKiB = rssEnd - rssStart;
    const double growthMiB = growthKiB / 1024.0;
    std::printf("Source stopped and restarted every %d s for %d s: %d of %d cycles resumed without user action "
                "(slowest %lld ms), %d errors; player memory %lld KiB -> %lld KiB (growth %.2f MiB)\n",
                periodMs / 1000, int(total.elapsed() / 1000), resumed, cycles, slowestMs, errors, rssStart, rssEnd,
                growthMiB);
    std::printf("growth after each cycle (KiB): %s\n", qPrintable(perCycle.join(u' ')));
    return resumed == cycles && errors == 0 && growthKiB < maxGrowthKiB ? 0 : 1;
}
