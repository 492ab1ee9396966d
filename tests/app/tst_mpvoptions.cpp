// The pure parts of the player: the options text and the title a stream announces.

#include "MpvPlayer.h"

#include <QtTest>

using OptionList = QList<std::pair<QString, QString>>;

class TestMpvOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseOptions_data();
    void parseOptions();
    void titleFromTags_data();
    void titleFromTags();
    void refusedOptionsAreReported();
};

void TestMpvOptions::parseOptions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionList>("expected");

    QTest::newRow("empty") << QString() << OptionList {};
    QTest::newRow("several with blanks") << " ao = pcm , ao-pcm-file=/tmp/a b.wav,"
                                         << OptionList {{"ao", "pcm"}, {"ao-pcm-file", "/tmp/a b.wav"}};
    QTest::newRow("value holding equals signs")
        << "stream-lavf-o=reconnect=1" << OptionList {{"stream-lavf-o", "reconnect=1"}};
    QTest::newRow("escaped commas stay in the value")
        << "stream-lavf-o=reconnect=1\\,reconnect_streamed=1,vid=no"
        << OptionList {{"stream-lavf-o", "reconnect=1,reconnect_streamed=1"}, {"vid", "no"}};
    QTest::newRow("bare key is a switch") << "no-video,mute" << OptionList {{"no-video", "yes"}, {"mute", "yes"}};
    QTest::newRow("empty value kept") << "audio-device=" << OptionList {{"audio-device", ""}};
    QTest::newRow("no key is dropped") << "=x,,ao=null" << OptionList {{"ao", "null"}};
    QTest::newRow("trailing backslash kept") << "a=b\\" << OptionList {{"a", "b\\"}};
}

void TestMpvOptions::parseOptions()
{
    QFETCH(QString, text);
    QFETCH(OptionList, expected);
    QCOMPARE(MpvPlayer::parseOptions(text), expected);
}

void TestMpvOptions::titleFromTags_data()
{
    QTest::addColumn<QVariantMap>("tags");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << QVariantMap {} << QString();
    QTest::newRow("station name is not a song") << QVariantMap {{"icy-name", "Radio X"}} << QString();
    QTest::newRow("icy title") << QVariantMap {{"icy-name", "Radio X"}, {"icy-title", "A - B"}} << "A - B";
    QTest::newRow("icy title wins over tags")
        << QVariantMap {{"icy-title", "A - B"}, {"title", "T"}, {"artist", "R"}} << "A - B";
    QTest::newRow("artist and title") << QVariantMap {{"ARTIST", "Band"}, {"TITLE", "Tune"}} << "Band - Tune";
    QTest::newRow("title alone") << QVariantMap {{"title", "Tune"}} << "Tune";
    QTest::newRow("artist alone is no song") << QVariantMap {{"artist", "Band"}} << QString();
    QTest::newRow("placeholder icy title falls back")
        << QVariantMap {{"icy-title", " - "}, {"title", "Tune"}} << "Tune";
    QTest::newRow("placeholder only") << QVariantMap {{"icy-title", " - "}} << QString();
    QTest::newRow("blanks trimmed") << QVariantMap {{"icy-title", "  A - B \r\n"}} << "A - B";
}

void TestMpvOptions::titleFromTags()
{
    QFETCH(QVariantMap, tags);
    QFETCH(QString, expected);
    QCOMPARE(MpvPlayer::titleFromTags(tags), expected);
}

void TestMpvOptions::refusedOptionsAreReported()
{
    MpvPlayer player(QStringLiteral("ao=null,no-such-option=1,volume=20"));
    QVERIFY(player.isValid());
    QCOMPARE(player.initError(), MpvPlayer::InitError::None);
    QCOMPARE(player.rejectedOptions(), QStringList {QStringLiteral("no-such-option=1")});
    QCOMPARE(player.volume(), 20); // taken from the engine after the options
}

QTEST_MAIN(TestMpvOptions)
#include "tst_mpvoptions.moc"
