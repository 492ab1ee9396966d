#include "basMD5.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTest>

class TestMd5 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rfcSuite_data();
    void rfcSuite();
    void blockBoundaries_data();
    void blockBoundaries();
    void textIsUtf8_data();
    void textIsUtf8();
    void streamingInPieces_data();
    void streamingInPieces();
};

void TestMd5::rfcSuite_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("digest");

    // RFC 1321, appendix A.5, in upper case.
    QTest::newRow("empty") << QByteArray("") << "D41D8CD98F00B204E9800998ECF8427E";
    QTest::newRow("a") << QByteArray("a") << "0CC175B9C0F1B6A831C399E269772661";
    QTest::newRow("abc") << QByteArray("abc") << "900150983CD24FB0D6963F7D28E17F72";
    QTest::newRow("message digest") << QByteArray("message digest") << "F96B697D7CB7938D525A2F31AAF161D0";
    QTest::newRow("alphabet") << QByteArray("abcdefghijklmnopqrstuvwxyz") << "C3FCD3D76192E4007DFB496CCA67E13B";
    QTest::newRow("alphanumeric") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
                                  << "D174AB98D277D9F5A5611C2C9F419D9F";
    QTest::newRow("80 digits") << QByteArray("1234567890").repeated(8) << "57EDF4A22BE3C955AC49DA2E2107B67A";
}

void TestMd5::rfcSuite()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, digest);

    QCOMPARE(basMD5(message), digest);
    QCOMPARE(basMD5(QString::fromLatin1(message)), digest);
}

void TestMd5::blockBoundaries_data()
{
    QTest::addColumn<int>("length");
    // Around the 56-byte mark the length no longer fits the last block; 64 and more
    // need a padding-only block or a second data block.
    for (int length : {1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 100000})
        QTest::addRow("%d bytes", length) << length;
}

void TestMd5::blockBoundaries()
{
    QFETCH(int, length);

    QByteArray message(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        message[i] = char((i * 131 + 7) & 0xff);
    const QString expected =
        QString::fromLatin1(QCryptographicHash::hash(message, QCryptographicHash::Md5).toHex().toUpper());
    const QString digest = basMD5(message);
    QCOMPARE(digest, expected);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(digest).hasMatch());
}

void TestMd5::textIsUtf8_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("stream URL") << "http://icecast.example.nl:8000/radio538";
    QTest::newRow("latin accents") << "http://radio.example/caf\u00e9-m\u00fcnchen";
    QTest::newRow("outside 8-bit code pages") << "http://\u0440\u0430\u0434\u0438\u043e.example/\u65e5\u672c";
    QTest::newRow("astral plane") << "stream \U0001F3B5";
}

void TestMd5::textIsUtf8()
{
    QFETCH(QString, text);
    const QByteArray utf8 = text.toUtf8();
    const QString expected =
        QString::fromLatin1(QCryptographicHash::hash(utf8, QCryptographicHash::Md5).toHex().toUpper());
    QCOMPARE(basMD5(text), expected);
    QCOMPARE(basMD5(utf8), expected);
}

void TestMd5::streamingInPieces_data()
{
    QTest::addColumn<int>("pieceSize");
    for (int piece : {1, 3, 55, 63, 64, 65, 200})
        QTest::addRow("pieces of %d", piece) << piece;
}

void TestMd5::streamingInPieces()
{
    QFETCH(int, pieceSize);

    QByteArray message;
    for (int i = 0; i < 1500; ++i)
        message += char('a' + i % 26);
    Md5 md5;
    for (int at = 0; at < message.size(); at += pieceSize)
        md5.update(message.mid(at, pieceSize));
    QCOMPARE(Md5::toHex(md5.finish()), basMD5(message));
    // finish() leaves the object ready for the next message.
    md5.update(QByteArray("abc"));
    QCOMPARE(Md5::toHex(md5.finish()), QStringLiteral("900150983CD24FB0D6963F7D28E17F72"));
}

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
