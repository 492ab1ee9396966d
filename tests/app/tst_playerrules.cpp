// The player's decisions that need no engine: when a dropped stream is tried again, what is shown.

#include "engine/PlayerStatus.h"
#include "engine/ReconnectSchedule.h"

#include <QtTest>

// Rows name only the facts that matter to them; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

class TestPlayerRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reconnectSchedule_data()
    {
        // On a fake clock in ms: "p<t>" audio flows, "o" a new connection is on its way,
        // "r" the user chooses again, "e<t>=<due>" the stream ends and the next attempt is
        // due then, or "gone".
        QTest::addColumn<QString>("events");
        QTest::newRow("never played: only the opening attempts") << "e0=500 e500=1500 e1500=gone";
        QTest::newRow("played: every pause") << "p0 e5000=5500 e5500=6500 e6500=8500 e8500=gone";
        QTest::newRow("playing well earns a fresh set") << "p0 e1000=1500 p1500 e11500=12000 e12000=13000";
        QTest::newRow("a short play earns none") << "p0 e10000=10500 p10500 e12000=13000 o e13000=15000 e15000=gone";
        QTest::newRow("a playlist's next address has not played") << "p0 e1000=1500 p1500 o e20000=gone";
        QTest::newRow("gone too long, attempts left") << "p0 e0=500 p500 e6000=gone";
        QTest::newRow("the user's choice starts afresh") << "p0 e0=500 e500=1500 r e2000=2500 e2500=3500 e3500=gone";
    }

    void reconnectSchedule()
    {
        QFETCH(QString, events);
        ReconnectSchedule schedule;
        schedule.setPolicy({{500, 1000, 2000}, 6000, 10000, 2});
        for (const QString &event : events.split(u' ')) {
            const QStringList parts = event.mid(1).split(u'=');
            if (event.startsWith(u'p')) {
                schedule.playing(parts[0].toLongLong());
            } else if (event == u"o") {
                schedule.opening();
            } else if (event == u"r") {
                schedule.restart();
            } else {
                const std::optional<qint64> due = schedule.ended(parts[0].toLongLong());
                QCOMPARE(due ? QString::number(*due) : QStringLiteral("gone"), parts[1]);
            }
        }
    }

    // What the engine journeys cannot bring about on demand.
    void status_data()
    {
        using enum PlayerPhase;
        QTest::addColumn<PlayerFacts>("facts");
        QTest::addColumn<PlayState>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("buffering");
        QTest::newRow("paused beats a refill")
            << PlayerFacts {.phase = Running, .paused = true, .pausedForCache = true, .cachePercent = 40}
            << PlayState::Paused << "Paused" << false;
        QTest::newRow("refill in whole tens")
            << PlayerFacts {.phase = Running, .pausedForCache = true, .cachePercent = 57} << PlayState::Buffering
            << "Buffering 50%" << true;
    }

    void status()
    {
        QFETCH(PlayerFacts, facts);
        const PlayerStatus status = playerStatus(facts, {});
        QTEST(status.state, "state");
        QTEST(status.text, "text");
        QTEST(status.buffering, "buffering");
    }
};

QTEST_GUILESS_MAIN(TestPlayerRules)
#include "tst_playerrules.moc"
