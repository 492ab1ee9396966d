// The player's parts that need no stream: the options text, the title a stream
// announces, the addresses it refuses and an engine that does not start.

#include "engine/EngineOptions.h"
#include "engine/MpvPlayer.h"
#include "support/EngineProcess.h"

#include <QtTest>

using OptionList = QList<std::pair<QString, QString>>;

class TestMpvOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareEngineProcess(); }

    void parseOptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptionList>("expected");

        QTest::newRow("escaped commas stay in the value, blanks go")
            << " stream-lavf-o = reconnect=1\\,reconnect_streamed=1 ,mute"
            << OptionList {{"stream-lavf-o", "reconnect=1,reconnect_streamed=1"}, {"mute", "yes"}};
        QTest::newRow("no key is dropped") << "=x,,ao=null" << OptionList {{"ao", "null"}};
    }

    void parseOptions()
    {
        QFETCH(QString, text);
        QTEST(EngineOptions::parse(text), "expected");
    }

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
        MpvPlayer player(QStringLiteral("ao=null,no-such-option=1,volume=20,load-unsafe-playlists=yes"));
        QVERIFY(player.isValid());
        QCOMPARE(player.initError(), MpvPlayer::InitError::None);
        QCOMPARE(player.startError(), QString());
        QCOMPARE(player.rejectedOptions(), (QStringList {"no-such-option=1", "load-unsafe-playlists=yes"}));
        QCOMPARE(player.engineProperty("load-unsafe-playlists").toBool(), false);
        QCOMPARE(player.volume(), 20); // taken from the engine after the options
        player.setVolume(150);
        player.setMute(true);
        QCOMPARE(player.volume(), 100);
        QCOMPARE(player.engineProperty("volume").toDouble(), 100.0);
        QCOMPARE(player.engineProperty("mute").toBool(), true);
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
};

QTEST_MAIN(TestMpvOptions)
#include "tst_mpvoptions.moc"
