#include "app/IniFile.h"
#include "app/SongTitle.h"
#include "recorder/RecordingName.h"
#include "recorder/RecordingSchedule.h"
#include "recorder/RecordingTags.h"
#include "recorder/SongFiles.h"
#include "recorder/SongSplitter.h"
#include "recorder/StreamHeaderSkip.h"
#include "support/LocalHttpServer.h"
#include "support/TestFiles.h"

#include <QtTest>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

namespace {

// "3 21:30": Wednesday of the week that begins on Monday 7 December 2026; 8 is the next Monday.
QDateTime at(const QString &moment)
{
    const QStringList parts = moment.split(u' ');
    return QDateTime(QDate(2026, 12, 7).addDays(parts.at(0).toInt() - 1), QTime::fromString(parts.at(1), "HH:mm"));
}

// MPEG-1 layer III, 128 kbit/s, 44.1 kHz: 417 bytes, 418 with padding.
QByteArray mp3Frame(char fill, bool padded = false)
{
    QByteArray frame = QByteArray("\xff\xfb") + char(padded ? 0x92 : 0x90) + '\x64';
    return frame + QByteArray(padded ? 414 : 413, fill);
}

// AAC LC, 44.1 kHz, stereo, no CRC.
QByteArray adtsFrame(char fill, int length)
{
    QByteArray frame("\xff\xf1\x50\x80");
    frame += char(length >> 3) + QByteArray(1, char((length & 7) << 5 | 0x1f)) + '\xfc';
    return frame + QByteArray(length - 7, fill);
}

// A metadata block for title; an empty title gives the empty block.
QByteArray block(const QByteArray &title)
{
    if (title.isEmpty())
        return QByteArray(1, '\0');
    QByteArray text = "StreamTitle='" + title + "';";
    text += QByteArray((16 - text.size() % 16) % 16, '\0');
    return char(text.size() / 16) + text;
}

// audio with a block after every `interval` bytes, block i from blocks (then empty ones).
QByteArray withBlocks(const QByteArray &audio, int interval, const QByteArrayList &blocks)
{
    QByteArray out;
    for (qsizetype at = 0, i = 0; interval > 0 && at < audio.size(); at += interval, ++i) {
        out += audio.mid(at, interval);
        if (at + interval <= audio.size())
            out += i < blocks.size() ? blocks.at(i) : block({});
    }
    return out;
}

// The stream in two reads split at every position, and in reads of one byte.
QList<QByteArrayList> everySplit(const QByteArray &stream)
{
    QList<QByteArrayList> reads;
    for (qsizetype split = 0; split <= stream.size(); split += 1 + split / 64)
        reads.append({stream.left(split), stream.mid(split)});
    QByteArrayList bytes;
    for (char c : stream)
        bytes.append(QByteArray(1, c));
    reads.append(bytes);
    return reads;
}

} // namespace

class TestRecorderLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headerSkip_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("body");
        const QByteArray audio = "\xff\xfb\x90\x64 audio\r\n\r\nmore\r\n\r\n";
        QTest::newRow("icy header") << "ICY 200 OK\r\nicy-name: Radio Tien\r\n\r\n" + audio << audio;
        QTest::newRow("CR after CR LF CR") << QByteArray("a\r\n\r\r\n\r\nZ") << QByteArray("Z");
        QTest::newRow("header longer than a read")
            << "HTTP/1.0 200 OK\r\nx-pad: " + QByteArray(3000, 'x') + "\r\n\r\n" + audio << audio;
    }

    void headerSkip()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, body);
        for (const QByteArrayList &reads : everySplit(stream)) { // with empty reads at either end
            StreamHeaderSkip skip;
            QByteArray out;
            for (const QByteArray &read : reads)
                out += skip.take(read).toByteArray();
            QCOMPARE(out, body);
            QCOMPARE(skip.inHeader(), body.isEmpty());
        }
    }

    void icyDemuxer_data()
    {
        QTest::addColumn<qint64>("metaint");
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("audio");
        QTest::addColumn<QStringList>("titles"); // "position:title"
        QTest::addColumn<int>("fault");
        const QByteArray audio = QByteArray("0123456789abcdefghijklmnopqrstuv").repeated(4); // 128
        const auto row = [&](const char *name, qint64 metaint, const QByteArrayList &blocks, const QStringList &titles,
                             IcyDemuxer::Fault fault = IcyDemuxer::Fault::None) {
            const QByteArray stream = withBlocks(audio, int(metaint), blocks);
            QTest::newRow(name) << metaint << stream << (fault == IcyDemuxer::Fault::None ? audio : QByteArray())
                                << titles << int(fault);
        };
        row("titles, repeats and empty blocks", 20,
            {block("A - B"), block({}), block("A - B"), block("Guns N' Roses - X"), block("C")},
            {"20:A - B", "80:Guns N' Roses - X", "100:C"});
        row("first block without title", 32, {block({}), block("T")}, {"32:", "64:T"});
        row("quote closing the block", 64, {"\x01StreamTitle='Q'" + QByteArray(1, '\0')}, {"64:Q"});
        row("title that never ends", 16, {char(2) + QByteArray("StreamTitle='x") + QByteArray(18, 'y')}, {},
            IcyDemuxer::Fault::UnendedTitle);
        row("interval 0", 0, {}, {}, IcyDemuxer::Fault::BadInterval);
        row("absurd interval", IcyDemuxer::kMaxMetaint + 1, {}, {}, IcyDemuxer::Fault::BadInterval);
    }

    void icyDemuxer()
    {
        QFETCH(qint64, metaint);
        QFETCH(QByteArray, stream);
        QFETCH(int, fault);
        for (const QByteArrayList &reads : everySplit(stream)) {
            IcyDemuxer icy(metaint);
            QByteArray out;
            QList<IcyDemuxer::TitleChange> changes;
            for (const QByteArray &read : reads)
                icy.feed(read, out, changes);
            QStringList seen;
            for (const auto &change : std::as_const(changes))
                seen << QStringLiteral("%1:%2").arg(change.position).arg(QString::fromUtf8(change.title));
            QCOMPARE(int(icy.fault()), fault);
            if (fault == int(IcyDemuxer::Fault::None))
                QTEST(out, "audio");
            QTEST(seen, "titles");
        }
    }

    void frameWalker_data()
    {
        QTest::addColumn<int>("codec");
        QTest::addColumn<QByteArray>("junk"); // in front, dropped
        QTest::addColumn<QByteArrayList>("frames");
        const QByteArrayList mp3 {mp3Frame('a'), mp3Frame('b', true), mp3Frame('c'), mp3Frame('d')};
        const QByteArrayList adts {adtsFrame('a', 300), adtsFrame('b', 9), adtsFrame('c', 1500), adtsFrame('d', 40)};
        // A lone sync word and a header whose follower is missing must not lock.
        const QByteArray junk = "\xff\xfb\x90\x64xx\xff\xf1\x50\x80\x01\x20\xfczz\xffq";
        QTest::newRow("mp3 on a boundary") << int(AudioCodec::Mp3) << QByteArray() << mp3;
        QTest::newRow("mp3 joined mid-stream") << int(AudioCodec::Mp3) << mp3Frame('z').mid(200) + junk << mp3;
        QTest::newRow("adts joined mid-stream") << int(AudioCodec::Adts) << adtsFrame('z', 60).mid(5) + junk << adts;
    }

    void frameWalker()
    {
        QFETCH(int, codec);
        QFETCH(QByteArray, junk);
        QFETCH(QByteArrayList, frames);
        for (const QByteArrayList &reads : everySplit(junk + frames.join())) {
            FrameWalker walker {AudioCodec(codec)};
            QList<FrameWalker::Frame> found;
            for (const QByteArray &read : reads)
                walker.feed(read, found);
            QByteArrayList bytes;
            for (const auto &frame : std::as_const(found))
                bytes << frame.bytes;
            QCOMPARE(bytes, frames);
            QCOMPARE(found.first().start, junk.size());
            QCOMPARE(walker.droppedBytes(), junk.size());
        }
    }

    // A title inside a frame begins its song at the next frame; nothing lost or doubled.
    void songSplitter_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<int>>("firstFrames"); // of each song
        QByteArray frames;
        for (char c = 'a'; c < 'a' + 12; ++c)
            frames += mp3Frame(c);
        const auto row = [&](const char *name, const QByteArray &junk, int interval, const QByteArrayList &blocks,
                             const QStringList &titles, const QList<int> &firstFrames) {
            QTest::newRow(name) << withBlocks(junk + frames, interval, blocks) << interval << titles << firstFrames;
        };
        // Frame i starts at 6 + 417 i: the block at 3000 sits inside frame 7.
        row("inside frames", "\x12\x34junk", 1000, {block("A"), block("A"), block("B"), block("Café - Ü")},
            {"A", "B", "Café - Ü"}, {0, 8, 10});
        row("on a boundary", {}, 834, {block({}), block("B"), block({}), block("C")}, {"", "B", "C"}, {0, 4, 8});
        row("Windows-1252 title", "\x12\x34junk", 2000, {block("Caf\xe9")}, {"Café"}, {0});
    }

    void songSplitter()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, interval);
        for (const QByteArrayList &reads : everySplit(stream)) {
            SongSplitter splitter(AudioCodec::Mp3, interval);
            QList<SongSplitter::Event> events;
            for (const QByteArray &read : reads)
                QVERIFY(splitter.feed(read, events));
            QStringList seen;
            QList<int> starts;
            QByteArray audio;
            for (const auto &event : std::as_const(events)) {
                if (event.kind == SongSplitter::Event::Kind::Song)
                    seen << event.title, starts << int(audio.size() / 417);
                audio += event.bytes;
            }
            QTEST(seen, "titles");
            QTEST(starts, "firstFrames");
            QCOMPARE(audio.size(), 12 * 417);
        }
    }

    // Never over an existing file; first and last song marked or left out; UTF-8 tags.
    void songFiles_data()
    {
        QTest::addColumn<bool>("keepPartial");
        QTest::addColumn<QStringList>("songs");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("kept, marked") << true << QStringList {"Ärtist - Tïtle", "C/D", "Ärtist - Tïtle"}
                                      << QStringList {"Ärtist - Tïtle (begin ontbreekt) (2).mp3", "C%2FD.mp3",
                                                      "Ärtist - Tïtle (einde ontbreekt).mp3"};
        QTest::newRow("left out") << false << QStringList {"X", "Ärtist - Tïtle", "Z"}
                                  << QStringList {"Ärtist - Tïtle.mp3"};
        QTest::newRow("one song") << true << QStringList {"Solo"}
                                  << QStringList {"Solo (begin ontbreekt) (einde ontbreekt).mp3"};
    }

    void songFiles()
    {
        QFETCH(bool, keepPartial);
        QFETCH(QStringList, songs);
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        const QString folder = dir.filePath("Radio Tien");
        QDir().mkpath(folder);
        QFile taken(folder + "/Ärtist - Tïtle (begin ontbreekt).mp3");
        QVERIFY(taken.open(QIODevice::WriteOnly) && taken.write("older take") > 0);
        taken.close();
        {
            SongFiles songFiles({folder, "Radio Tien", "http://radio.example/live", "mp3", keepPartial,
                                 " (begin ontbreekt)", " (einde ontbreekt)"});
            for (const QString &song : songs)
                QVERIFY(songFiles.startSong(song, QDateTime({2026, 12, 7}, {1, 30}))
                        && songFiles.write(mp3Frame('a').repeated(3)));
        }
        QStringList names = files;
        QStringList found = QDir(folder).entryList(QDir::Files);
        found.removeOne(QFileInfo(taken).fileName());
        names.sort(), found.sort();
        QCOMPARE(found, names);
        QVERIFY(taken.open(QIODevice::ReadOnly) && taken.readAll() == "older take");
        TagLib::MPEG::File read(QFile::encodeName(QDir(folder).filePath(files.first())).constData());
        const TagLib::ID3v2::Tag *tag = read.ID3v2Tag();
        QVERIFY(tag && tag->header()->majorVersion() == 4);
        const auto text = [](const TagLib::String &s) {
            return QString::fromStdString(s.to8Bit(true));
        };
        const SongParts song = splitSongTitle(files.first().section(" (", 0, 0).remove(".mp3"));
        QCOMPARE(text(tag->artist()) + '|' + text(tag->title()), song.artist + '|' + song.title);
        QCOMPARE(text(tag->album()) + text(tag->comment()), QStringLiteral("Radio Tienhttp://radio.example/live"));
        QVERIFY(text(tag->frameListMap()["TDRC"].front()->toString()).startsWith("2026-12-07T01:30"));
    }

    void recordingName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("path"); // at 09:05
        const auto row = [](const char *name, const QString &folder, const QString &station, const QString &path) {
            QTest::newRow(name) << folder << station << path;
        };
        row("plain", "/rec", "Radio Tien", "/rec/Opname Radio Tien 9.5.mp3");
        row("no folder stored", "", "X", "/home/u/Opname X 9.5.mp3");
        row("slash, accents stay", "/r/", "AC/DC Café", "/r/Opname AC%2FDC Café 9.5.mp3");
        row("percent itself", "/r/", "100% %2F", "/r/Opname 100%25 %252F 9.5.mp3");
        row("refused elsewhere", "/r/", "..\\b:c*d?e\"f<g>h|i\n",
            "/r/Opname %2E.%5Cb%3Ac%2Ad%3Fe%22f%3Cg%3Eh%7Ci%0A 9.5.mp3");
        // 7 + 3 * 80 + 8 bytes: as many escaped characters as fit in 255.
        row("long name shortened", "/r/", QString(400, u'/'), "/r/Opname " + QString("%2F").repeated(80) + " 9.5.mp3");
    }

    void recordingName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, station);
        QFETCH(QString, path);
        QCOMPARE(proposedRecordingPath(folder, station, QTime(9, 5), QStringLiteral("/home/u")), path);
        const QString mapped = path.section(u'/', -1).mid(7).chopped(8);
        QVERIFY(station.startsWith(textFromSafeFileName(mapped)));
    }

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

QTEST_GUILESS_MAIN(TestRecorderLogic)
#include "tst_recorderlogic.moc"
