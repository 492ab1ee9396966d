#include "digest/basMD5.h"

#include <QCryptographicHash>
#include <QTest>

static QString reference(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

class TestMd5 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void blockBoundaries_data()
    {
        QTest::addColumn<int>("length");
        // From 56 bytes on the length no longer fits the last block; 64 and more need a
        // padding-only block or a second data block.
        for (int length : {0, 3, 55, 56, 57, 63, 64, 65, 119, 120, 128, 129, 100000})
            QTest::addRow("%d bytes", length) << length;
    }

    void blockBoundaries()
    {
        QFETCH(int, length);
        QByteArray message(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i)
            message[i] = char((i * 131 + 7) & 0xff); // every byte value, the high ones included
        QCOMPARE(basMD5(message), reference(message)); // upper-case hex, as the directory stores it
        const QString text = QString::fromUtf8(message); // text is digested as UTF-8
        QCOMPARE(basMD5(text), reference(text.toUtf8()));
        QCOMPARE(basMD5("caf\xC3\xA9 \xF0\x9F\x8E\xB5"), reference("caf\xC3\xA9 \xF0\x9F\x8E\xB5"));

        // Fed in pieces that end before, on and after a block edge; finish() leaves the
        // object ready for the next message.
        Md5 md5;
        for (int piece : {1, 55, 63, 64, 65}) {
            for (int at = 0; at < length; at += piece)
                md5.update(message.mid(at, piece));
            QCOMPARE(Md5::toHex(md5.finish()), reference(message));
        }
    }
};

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
