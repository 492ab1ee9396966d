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
        const QByteArray header = "ICY 200 OK\r\nicy-name: Radio Tien\r\ncontent-type: audio/mpeg\r\n\r\n";
        const QByteArray audio = "\xff\xfb\x90\x64 audio\r\n\r\nmore\r\n\r\n";
        const QByteArray stream = header + audio;
        QTest::newRow("header and audio in one chunk") << QByteArrayList {stream} << audio;
        QTest::newRow("empty chunks around")
            << QByteArrayList {"", header.left(9), "", header.mid(9) + audio, ""} << audio;
        QTest::newRow("header still open") << QByteArrayList {header.chopped(1)} << QByteArray();
        QTest::newRow("CR after CR LF CR starts the marker afresh")
            << QByteArrayList {"a\r\n\r\r\n\r\nZ"} << QByteArray("Z");
        QTest::newRow("bare line feeds end nothing") << QByteArrayList {"a\n\n\r\n\nb\r\r\n\r\nZ"} << QByteArray("Z");
        const QByteArray longStream = "HTTP/1.0 200 OK\r\nx-pad: " + QByteArray(3000, 'x') + "\r\n\r\n" + audio;
        QByteArrayList chunks;
        for (qsizetype at = 0; at < longStream.size(); at += 1024)
            chunks << longStream.mid(at, 1024);
        QTest::newRow("header longer than a chunk") << chunks << audio;
        for (qsizetype split = 1; split < stream.size(); ++split)
            QTest::addRow("two chunks split at %d", int(split))
                << QByteArrayList {stream.left(split), stream.mid(split)} << audio;
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

    void safeFileNameRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << "Radio Tien"
                               << "Radio Tien";
        QTest::newRow("accents stay") << "Café Ü FM"
                                      << "Café Ü FM";
        QTest::newRow("slash") << "AC/DC Radio"
                               << "AC%2FDC Radio";
        QTest::newRow("percent itself") << "100% NL %2F"
                                        << "100%25 NL %252F";
        QTest::newRow("refused elsewhere") << "a\\b:c*d?e\"f<g>h|i"
                                           << "a%5Cb%3Ac%2Ad%3Fe%22f%3Cg%3Eh%7Ci";
        QTest::newRow("parent folder") << ".."
                                       << "%2E.";
        QTest::newRow("control characters") << "one\ntwo\t\x7f"
                                            << "one%0Atwo%09%7F";
    }

    void safeFileNameRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QString, fileName);
        QCOMPARE(safeFileName(text), fileName);
        QCOMPARE(textFromSafeFileName(fileName), text);
    }

    void proposedPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("path");
        const QTime nineOFive(9, 5);
        QTest::newRow("no leading zeros") << "/rec/"
                                          << "Radio Tien" << nineOFive << "/rec/Opname Radio Tien 9.5.mp3";
        QTest::newRow("folder without separator") << "/rec"
                                                  << "X" << QTime(23, 59) << "/rec/Opname X 23.59.mp3";
        QTest::newRow("no folder stored") << ""
                                          << "X" << QTime(0, 0) << "/home/u/Opname X 0.0.mp3";
        QTest::newRow("slash in the name") << "/rec/"
                                           << "AC/DC" << nineOFive << "/rec/Opname AC%2FDC 9.5.mp3";
        // 7 + 3 * 80 + 8 bytes: as many escaped characters as fit in 255.
        QTest::newRow("long name shortened")
            << "/rec/" << QString(400, u'/') << nineOFive << "/rec/Opname " + QString("%2F").repeated(80) + " 9.5.mp3";
    }

    void proposedPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, station);
        QFETCH(QTime, time);
        QFETCH(QString, path);
        QCOMPARE(proposedRecordingPath(folder, station, time, QStringLiteral("/home/u")), path);
    }
};

QTEST_GUILESS_MAIN(TestRecorderLogic)
#include "tst_recorderlogic.moc"
