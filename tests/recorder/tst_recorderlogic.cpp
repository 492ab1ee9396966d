#include "RecordingName.h"
#include "StreamHeaderSkip.h"

#include <QtTest>

class TestRecorderLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headerSkip_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArray>("body");
        const QByteArray header = "ICY 200 OK\r\nicy-name: Radio Tien\r\n\r\n";
        const QByteArray audio = "\xff\xfb\x90\x64 audio\r\n\r\nmore\r\n\r\n";
        const QByteArray stream = header + audio;
        QTest::newRow("empty chunks") << QByteArrayList {"", header.left(9), "", header.mid(9) + audio, ""} << audio;
        QTest::newRow("CR after CR LF CR") << QByteArrayList {"a\r\n\r\r\n\r\nZ"} << QByteArray("Z");
        const QByteArray longStream = "HTTP/1.0 200 OK\r\nx-pad: " + QByteArray(3000, 'x') + "\r\n\r\n" + audio;
        QByteArrayList chunks;
        for (qsizetype at = 0; at < longStream.size(); at += 1024)
            chunks << longStream.mid(at, 1024);
        QTest::newRow("header longer than a chunk") << chunks << audio;
        for (qsizetype split = 0; split < stream.size(); ++split) // 0: all in one chunk
            QTest::addRow("split at %d", int(split)) << QByteArrayList {stream.left(split), stream.mid(split)} << audio;
    }

    void headerSkip()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, body);
        StreamHeaderSkip skip;
        QByteArray out;
        for (const QByteArray &chunk : chunks)
            out += skip.take(chunk).toByteArray();
        QCOMPARE(out, body);
        QCOMPARE(skip.inHeader(), body.isEmpty());
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
};

QTEST_GUILESS_MAIN(TestRecorderLogic)
#include "tst_recorderlogic.moc"
