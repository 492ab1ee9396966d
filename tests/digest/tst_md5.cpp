#include "basMD5.h"

#include <QCryptographicHash>
#include <QTest>

namespace {

QString reference(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

} // namespace

class TestMd5 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rfcSuite_data();
    void rfcSuite();
    void blockBoundaries_data();
    void blockBoundaries();
    void textIsUtf8();
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
    // From 56 bytes on the length no longer fits the last block; 64 and more need a
    // padding-only block or a second data block.
    for (int length : {55, 56, 57, 63, 64, 65, 119, 120, 128, 129, 100000})
        QTest::addRow("%d bytes", length) << length;
}

void TestMd5::blockBoundaries()
{
    QFETCH(int, length);

    QByteArray message(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        message[i] = char((i * 131 + 7) & 0xff); // every byte value, the high ones included
    QCOMPARE(basMD5(message), reference(message));

    // Fed in pieces that end before, on and after a block edge; finish() leaves the
    // object ready for the next message.
    Md5 md5;
    for (int piece : {1, 55, 63, 64, 65}) {
        for (int at = 0; at < length; at += piece)
            md5.update(message.mid(at, piece));
        QCOMPARE(Md5::toHex(md5.finish()), reference(message));
    }
}

void TestMd5::textIsUtf8()
{
    const QString text = QStringLiteral("http://radio.example/caf\u00e9-\u0440\u0430\u0434\u0438\u043e-\U0001F3B5");
    QCOMPARE(basMD5(text), reference(text.toUtf8()));
    QCOMPARE(basMD5("stream \xF0\x9F\x8E\xB5"), reference("stream \xF0\x9F\x8E\xB5"));
}

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
