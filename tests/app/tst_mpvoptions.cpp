// The player's parts that need no stream: the options text, the title a stream announces,
// the addresses it refuses, an engine that does not start, when a dropped stream is tried
// again and what is shown.

#include "engine/MpvPlayer.h"
#include "engine/PlayerStatus.h"
#include "engine/ReconnectSchedule.h"
#include "support/EngineProcess.h"

#include <QtTest>

// Status rows name only the facts that matter to them; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

class TestMpvOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareEngineProcess(); }

    void titleFromTags_data()
    {
        QTest::addColumn<QVariantMap>("tags");
        QTest::addColumn<QString>("expected");

        QTest::newRow("station name is not a song") << QVariantMap {{"icy-name", "Radio X"}} << QString();
        QTest::newRow("icy title wins over tags")
            << QVariantMap {{"icy-title", "A - B"}, {"title", "T"}, {"artist", "R"}} << "A - B";
        QTest::newRow("artist and title") << QVariantMap {{"ARTIST", "Band"}, {"TITLE", "Tune"}} << "Band - Tune";
        QTest::newRow("artist alone is no song") << QVariantMap {{"artist", "Band"}} << QString();
        QTest::newRow("placeholder icy title falls back")
            << QVariantMap {{"icy-title", " - "}, {"title", "Tune"}} << "Tune";
        QTest::newRow("blanks trimmed") << QVariantMap {{"icy-title", "  A - B \r\n"}} << "A - B";
    }

    void titleFromTags()
    {
        QFETCH(QVariantMap, tags);
        QTEST(MpvPlayer::titleFromTags(tags), "expected");
    }

    void refusedOptionsAreReported()
    {
        // Blanks go, escaped commas stay in the value, entries without a key are dropped.
        MpvPlayer player(
            QStringLiteral(" ao = null ,no-such-option=1,,=x,volume=20,mute,"
                           "stream-lavf-o = reconnect=1\\,reconnect_streamed=1,load-unsafe-playlists=yes"));
        QVERIFY(player.isValid());
        QCOMPARE(player.initError(), MpvPlayer::InitError::None);
        QCOMPARE(player.startError(), QString());
        QCOMPARE(player.rejectedOptions(), (QStringList {"no-such-option=1", "load-unsafe-playlists=yes"}));
        QCOMPARE(player.engineProperty("mute").toBool(), true); // a bare option means yes
        QCOMPARE(player.engineProperty("load-unsafe-playlists").toBool(), false);
        QCOMPARE(player.volume(), 20); // taken from the engine after the options
        player.setVolume(150);
        QCOMPARE(player.volume(), 100);
        QCOMPARE(player.engineProperty("volume").toDouble(), 100.0);
        player.setMute(false);
        QCOMPARE(player.engineProperty("mute").toBool(), false);
    }

    void refusedAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("local file") << "file:///etc/passwd";
        QTest::newRow("bare path") << "/etc/passwd";
        QTest::newRow("relative path") << "passwd";
        QTest::newRow("libav protocol") << "av://lavfi:sine";
        QTest::newRow("filter graph") << "lavfi://sine";
        QTest::newRow("http without a host") << "http:///etc/passwd";
        QTest::newRow("scheme inside") << " file://http://a/";
    }

    // Refused as a station that does not start: error() and the failure text, and nothing
    // reaches the engine.
    void refusedAddresses()
    {
        QFETCH(QString, url);
        MpvPlayer player(QStringLiteral("ao=null"));
        QSignalSpy errors(&player, &MediaPlayer::error);
        player.setUrl(url);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(player.playState(), PlayState::Stopped);
        QCOMPARE(player.status(), QStringLiteral("Stream not available"));
        QCOMPARE(player.engineProperty("path"), QVariant());
        player.play();
        QCOMPARE(errors.size(), 2);
    }

    void engineThatDoesNotStart()
    {
        MpvPlayer player(QStringLiteral("ao=null,audio-device=help")); // the engine refuses to initialise
        QVERIFY(!player.isValid());
        QCOMPARE(player.initError(), MpvPlayer::InitError::InitializeFailed);
        QVERIFY(player.startError().contains(QStringLiteral("did not start")));
        QSignalSpy errors(&player, &MediaPlayer::error);
        player.setUrl(QStringLiteral("http://127.0.0.1:1/stream"));
        QCOMPARE(errors.size(), 1);
    }

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

QTEST_MAIN(TestMpvOptions)
#include "tst_mpvoptions.moc"
