#include "app/IniFile.h"
#include "recorder/RecordingSchedule.h"
#include "support/LocalHttpServer.h"
#include "support/TestFiles.h"

#include <QtTest>

namespace {

// "3 21:30": Wednesday of the week that begins on Monday 7 December 2026; 8 is the next Monday.
QDateTime at(const QString &moment)
{
    const QStringList parts = moment.split(u' ');
    return QDateTime(QDate(2026, 12, 7).addDays(parts.at(0).toInt() - 1), QTime::fromString(parts.at(1), "HH:mm"));
}

} // namespace

class TestRecordingSchedule final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void timetable_data()
    {
        QTest::addColumn<QStringList>("plans"); // as stored; the station names the events
        QTest::addColumn<QString>("next"); // the first plan's next start after the first moment
        QTest::addColumn<QStringList>("moments");
        QTest::addColumn<QStringList>("events"); // per moment: "+A" begins, "-A" ends

        QTest::newRow("chosen days only")
            << QStringList {"13|21:00|60|0|A"} << "1 21:00"
            << QStringList {"1 20:59", "1 21:00", "1 21:30", "1 22:00", "2 21:00", "3 21:05"}
            << QStringList {"", "+A", "", "-A", "", "+A"};
        QTest::newRow("next week when today's has passed")
            << QStringList {"3|08:00|30|0|A"} << "10 08:00" << QStringList {"3 09:00"} << QStringList {""};
        QTest::newRow("due while another runs")
            << QStringList {"1234567|21:00|60|0|A", "1234567|21:30|60|1|B"} << "1 21:00"
            << QStringList {"1 20:00", "1 21:00", "1 21:30", "1 22:00", "1 22:30"}
            << QStringList {"", "+A", "+B", "-A", "-B"};
        QTest::newRow("missed start, woken inside its time: the rest is recorded")
            << QStringList {"1|21:00|60|0|A"} << "1 21:00" << QStringList {"1 20:50", "1 21:40", "1 21:45", "1 22:00"}
            << QStringList {"", "+A", "", "-A"};
        QTest::newRow("missed start, woken after its time: skipped")
            << QStringList {"1|21:00|60|0|A"} << "1 21:00" << QStringList {"1 20:50", "1 22:10"}
            << QStringList {"", ""};
        QTest::newRow("past midnight") << QStringList {"1|23:30|60|0|A"} << "1 23:30"
                                       << QStringList {"1 23:00", "2 00:10", "2 00:30", "2 23:30"}
                                       << QStringList {"", "+A", "-A", ""};
        QTest::newRow("no day, no recording")
            << QStringList {"|21:00|60|0|A"} << "" << QStringList {"1 21:00"} << QStringList {""};
    }

    void timetable()
    {
        QFETCH(QStringList, plans);
        QFETCH(QString, next);
        QFETCH(QStringList, moments);
        QFETCH(QStringList, events);

        QList<PlannedRecording> parsed;
        for (const QString &text : plans) {
            if (const std::optional<PlannedRecording> plan = PlannedRecording::fromText(text))
                parsed.append(*plan);
        }
        if (!parsed.isEmpty()) {
            QCOMPARE(parsed.first().toText(), plans.first());
            QCOMPARE(parsed.first().nextStart(at(moments.first()).addSecs(-60)), at(next));
        }
        RecordingTimetable timetable;
        QHash<QString, QString> stations; // key -> station
        for (qsizetype i = 0; i < moments.size(); ++i) {
            const RecordingTimetable::Step step = timetable.step(parsed, at(moments.at(i)));
            QStringList seen;
            for (const RecordingTimetable::Due &due : step.starts) {
                stations.insert(due.key, due.plan.station);
                seen << "+" + due.plan.station;
            }
            for (const QString &key : step.stops)
                seen << "-" + stations.value(key);
            QCOMPARE(seen.join(u' '), events.at(i));
        }
    }

    // A due plan records the station's bytes into the recorder's folder, with notices.
    void dueRecordingRecordsBytes()
    {
        const QByteArray audio = QByteArray(48 * 1024, '\xAA') + "the end";
        LocalHttpServer station([&](const QByteArray &) { return LocalHttpReply {200, audio, "audio/mpeg"}; });
        QTemporaryDir folder;
        const QString inst = folder.filePath("INST.INI");
        QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), folder.filePath("lang.ini"));
        WriteINI(inst, "Record", "dir", folder.filePath("out"));
        QVERIFY(QDir().mkpath(folder.filePath("out")));
        QVERIFY(
            savePlannedRecordings(inst, {*PlannedRecording::fromText("1|21:00|30|0|" + station.baseUrl() + "live")}));

        QDateTime now = at("1 20:59");
        QStringList notices;
        RecordingScheduler scheduler(
            folder.path(), LanguageTexts(folder.path(), [] { return QStringLiteral("english"); }),
            [&](const QString &who, const QString &text) { notices << who + ": " + text; }, [&] { return now; });
        scheduler.check();
        QCOMPARE(scheduler.runningCount(), 0);
        now = at("1 21:00");
        QSignalSpy ended(&scheduler, &RecordingScheduler::recordingEnded);
        scheduler.check();
        QCOMPARE(scheduler.runningCount(), 1);
        QVERIFY(ended.wait(10000)); // the server sends its bytes and closes

        QCOMPARE(station.targets(), QList<QByteArray> {"/live"});
        QCOMPARE(scheduler.files().size(), 1);
        QVERIFY(scheduler.files().first().startsWith(folder.filePath("out/")));
        QVERIFY(readBytes(scheduler.files().first()).endsWith(audio));
        QCOMPARE(
            notices,
            QStringList({"127.0.0.1: Planned recording started", "127.0.0.1: Planned recording finished and saved"}));
        scheduler.check(); // still within its time: it does not begin again
        QCOMPARE(scheduler.runningCount(), 0);
    }
};

QTEST_MAIN(TestRecordingSchedule)
#include "tst_recordingschedule.moc"
