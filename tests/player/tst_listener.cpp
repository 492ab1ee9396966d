#include "app/LanguageTexts.h"
#include "app/MediaPlayer.h"
#include "player/FavouriteStepper.h"
#include "player/HistoryWindow.h"
#include "player/SleepTimer.h"
#include "player/SongHistory.h"
#include "player/StationLogo.h"
#include "player/WakeAlarm.h"
#include "support/FakeTransfer.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QCryptographicHash>
#include <QImage>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace std::chrono_literals;

// The player as the sleep timer and the alarm drive it: volume sounding, the slider's volume, what was asked.
struct FakeRadio
{
    int user = 80, sounding = 80;
    PlayState state = PlayState::Stopped;
    QList<int> volumes;
    QStringList calls;

    SleepTimer::Hooks sleepHooks()
    {
        return {[this] { return user; }, [this](int v) { volumes << (sounding = v); },
                [this] {
                    calls << "stop";
                }};
    }
    WakeAlarm::Hooks alarmHooks()
    {
        return {[this] { return state; }, [this] { return user; }, [this](int v) { volumes << (sounding = v); },
                [this](const QString &naam, const QString &url) { calls << "play " + naam + " " + url; },
                [this](const QString &url) {
                    calls << "sound " + url;
                }};
    }
};

class TestListener : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stepping_data()
    {
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QString>("playing");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("expected");
        const QStringList three {"http://a/", "http://b/", "http://c/"};
        QTest::newRow("next from a favourite") << three << "http://b/" << 1 << 2;
        QTest::newRow("next wraps to the first") << three << "http://c/" << 1 << 0;
        QTest::newRow("previous wraps to the last") << three << "http://a/" << -1 << 2;
        QTest::newRow("no favourite playing starts at the first") << three << "http://x/" << -1 << 0;
        QTest::newRow("nothing playing starts at the first") << three << "" << 1 << 0;
        QTest::newRow("one favourite cannot step") << QStringList {"http://a/"} << "http://a/" << 1 << -1;
    }
    void stepping()
    {
        QFETCH(QStringList, urls);
        QFETCH(QString, playing);
        QFETCH(int, step);
        QTEST(stepFavourite(urls, playing, step), "expected");
    }

    void searchAddress_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        const QString song = "Caf%C3%A9%20%26%20Co%20-%20Ja", fallback = "https://duckduckgo.com/?q=" + song;
        QTest::newRow("placeholder") << "https://search.example/?q=%1&x=1"
                                     << "https://search.example/?q=" + song + "&x=1";
        QTest::newRow("no placeholder appends") << "http://s.example/find?q="
                                                << "http://s.example/find?q=" + song;
        QTest::newRow("empty is the default") << "" << fallback;
        QTest::newRow("a program is refused") << "file:///usr/bin/xterm?%1" << fallback;
    }
    void searchAddress()
    {
        QFETCH(QString, pattern);
        QTEST(songSearchUrl(pattern, QStringLiteral("Café & Co - Ja")).toString(QUrl::FullyEncoded), "expected");
    }

    // The newest thousand are kept across loads, with fields that could split a line flattened;
    // the window shows them newest first, filters them to the playing station, copies a whole title.
    void historyKeepsTheNewest()
    {
        QTemporaryDir dir;
        const QDateTime start(QDate(2026, 1, 1), QTime(8, 0));
        QString lines;
        for (int i = 0; i < SongHistory::kMaxSongs + 4; ++i)
            lines += SongHistory::line({start.addSecs(i), "Radio Een", "http://a/", "Song " + QString::number(i)})
                + "\nnot a song\n";
        writeBytes(dir.filePath(SongHistory::kFileName), lines.toUtf8());
        SongHistory history(dir.path());
        history.load();
        QCOMPARE(history.songs().size(), SongHistory::kMaxSongs);
        const QString last = "Last Song " + QString(300, u'x');
        QVERIFY(history.add({start.addSecs(5000), "Radio\tTwee", "http://b/", "Last\nSong " + QString(300, u'x')}));
        QVERIFY(history.add({start.addSecs(5060), "Radio Twee", "http://b/", last})); // a reconnect
        SongHistory again(dir.path());
        again.load();
        QCOMPARE(again.songs().size(), SongHistory::kMaxSongs);
        QCOMPARE(again.songs().first().title, "Song 5");
        QCOMPARE(again.songs().last(), (HeardSong {start.addSecs(5000), "Radio Twee", "http://b/", last}));

        const LanguageTexts texts(dir.path(), [] { return QString(); });
        HistoryWindow window(texts, {&again, [] { return QStringLiteral("http://b/"); }, QString()});
        auto *list = window.findChild<QTreeWidget *>("List1");
        QCOMPARE(list->topLevelItem(1)->text(2), "Song 1003");
        window.findChild<QCheckBox *>("Check1")->setChecked(true);
        QCOMPARE(list->topLevelItemCount(), 1);
        list->setCurrentItem(list->topLevelItem(0));
        window.copySelected();
        QCOMPARE(QGuiApplication::clipboard()->text(), last);
    }

    void sleepFadesAndStops_data()
    {
        QTest::addColumn<bool>("cancel"); // as "--sleep 0" asks, in the middle of the fade
        QTest::newRow("runs out") << false;
        QTest::newRow("cancelled mid-fade") << true;
    }
    // The fade lowers what sounds, never the user's volume, and gives it back after the stop.
    void sleepFadesAndStops()
    {
        QFETCH(bool, cancel);
        FakeRadio radio;
        SleepTimer timer(radio.sleepHooks(), 20ms); // a minute lasts 1.2 s
        QSignalSpy finished(&timer, &SleepTimer::finished);
        timer.start(1);
        QVERIFY(timer.secondsLeft() > 55);
        QTRY_VERIFY_WITH_TIMEOUT(radio.sounding < 60, 5000);
        if (cancel)
            timer.start(0);
        else
            QVERIFY(finished.wait(5000));
        QCOMPARE(radio.calls, cancel ? QStringList {} : QStringList {"stop"});
        QVERIFY(*std::min_element(radio.volumes.cbegin(), radio.volumes.cend()) < (cancel ? 60 : 20));
        QVERIFY(std::is_sorted(radio.volumes.crbegin() + 1, radio.volumes.crend())); // falling, then back
        QCOMPARE(radio.sounding, 80);
        QCOMPARE(radio.user, 80);
        QVERIFY(!timer.isActive()); // its one tick timer: nothing more can come
        QCOMPARE(timer.secondsLeft(), 0);
    }

    void nextRing_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("days");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("expected");
        const QDate monday(2026, 12, 7);
        const QDateTime at(monday, QTime(6, 0));
        QTest::newRow("later today") << true << 0x7F << at << QDateTime(monday, QTime(7, 0));
        QTest::newRow("past today, tomorrow")
            << true << 0x7F << at.addSecs(3 * 3600) << QDateTime(monday.addDays(1), QTime(7, 0));
        QTest::newRow("friday evening, monday")
            << true << 0x1F << QDateTime(monday.addDays(4), QTime(22, 0)) << QDateTime(monday.addDays(7), QTime(7, 0));
        QTest::newRow("only today, a week on")
            << true << 0x01 << at.addSecs(3600) << QDateTime(monday.addDays(7), QTime(7, 0));
        QTest::newRow("no day") << true << 0 << at << QDateTime();
        QTest::newRow("off") << false << 0x7F << at << QDateTime();
    }
    void nextRing()
    {
        QFETCH(bool, enabled);
        QFETCH(int, days);
        QFETCH(QDateTime, now);
        AlarmSettings settings;
        settings.enabled = enabled;
        settings.days = days;
        QTEST(nextAlarm(settings, now), "expected");
    }

    // The station fades in from low; one that never plays gives way to the alarm sound,
    // which really streams; the user's stop ends the alarm with the volume given back.
    void alarmFallsBackToItsSound()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath("INST.INI");
        const AlarmSettings settings {
            .enabled = true, .stationName = "Radio Een", .stationUrl = "http://127.0.0.1:9/gone"};
        settings.write(ini);
        QCOMPARE(AlarmSettings::read(ini).stationUrl, settings.stationUrl);
        FakeRadio radio;
        WakeAlarm alarm(radio.alarmHooks(), ini, QStringLiteral(NORVALE_SOURCE_DIR "/data/alarm.mp3"), 20ms);
        QSignalSpy fellBack(&alarm, &WakeAlarm::fellBack);
        alarm.ring();
        QCOMPARE(radio.calls.value(0), "play Radio Een http://127.0.0.1:9/gone");
        QCOMPARE(radio.volumes.value(0), 80 * WakeAlarm::kStartPercent / 100);
        QVERIFY(fellBack.wait(2000));
        QVERIFY(radio.sounding > 4 && radio.sounding < 80); // still fading in
        const QString sound = radio.calls.value(1).section(' ', 1);
        QVERIFY2(sound.startsWith("http://127.0.0.1:"), qPrintable(radio.calls.join('|')));

        QTcpSocket listener;
        listener.connectToHost(QUrl(sound).host(), QUrl(sound).port());
        QVERIFY(listener.waitForConnected(2000));
        listener.write("GET /alarm.mp3 HTTP/1.0\r\n\r\n");
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += listener.readAll()).size() > 12000, 5000); // more than one copy
        QVERIFY(received.startsWith("HTTP/1.0 200 OK\r\n"));

        radio.state = PlayState::Stopped;
        alarm.playStateChanged();
        QVERIFY(!alarm.isRinging());
        QCOMPARE(radio.sounding, 80);
    }

    void logo_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("stationChangedMeanwhile");
        QTest::addColumn<QSize>("shown");
        const auto png = [](QSize size) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(Qt::red);
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return buffer.data();
        };
        QTest::newRow("small logo as it is") << png({64, 48}) << false << QSize(64, 48);
        QTest::newRow("large logo scaled down") << png({400, 200}) << false << QSize(128, 64);
        QTest::newRow("huge picture refused") << png({4000, 10}) << false << QSize();
        QTest::newRow("not a picture") << QByteArray("<html>404</html>") << false << QSize();
        QTest::newRow("reply for the station before") << png({64, 48}) << true << QSize();
    }
    void logo()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, stationChangedMeanwhile);
        QFETCH(QSize, shown);
        QTemporaryDir dir;
        FakeTransfer transfer;
        const auto directory = [] {
            return QUrl("http://dir.example/");
        };
        StationLogo logo(&transfer, directory, dir.path());
        logo.setStation("http://a.example/stream");
        QCOMPARE(transfer.requests.size(), 1);
        QCOMPARE(transfer.requests[0].url.toString(),
                 "http://dir.example/radio/inter/logo/"
                     + QCryptographicHash::hash("http://a.example/stream", QCryptographicHash::Md5).toHex().toUpper()
                     + ".png");
        if (stationChangedMeanwhile)
            logo.setStation("http://b.example/stream");
        TransferResult result;
        result.bytes = reply;
        transfer.requests[0].done(result);
        QCOMPARE(logo.image().isNull(), !shown.isValid());
        if (!shown.isValid())
            return;
        QCOMPARE(logo.image().size(), shown);
        // Cached as our own PNG: the next start of the station shows it without asking.
        StationLogo again(&transfer, directory, dir.path());
        again.setStation("http://a.example/stream");
        QCOMPARE(again.image().size(), shown);
        QCOMPARE(transfer.requests.size(), 1);
        QVERIFY(QImage(again.filePath(), "PNG").size() == shown);
    }
};

QTEST_MAIN(TestListener)
#include "tst_listener.moc"
