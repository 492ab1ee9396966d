#include "IcecastServer.h"
#include "RecordRig.h"

#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>

// The recorder against a real Icecast serving its stream at "/": the file must be one
// contiguous run of the body a plain listener hears, without a byte of the header.
class TestRecordE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordsTheStreamBody()
    {
        IcecastServer icecast;
        NORVALE_START_ICECAST(icecast);
        // This listener connects first, so it hears at least everything the recorder will.
        QTcpSocket direct;
        QByteArray heard;
        connect(&direct, &QTcpSocket::readyRead, this, [&] { heard += direct.readAll(); });
        direct.connectToHost(QStringLiteral("127.0.0.1"), quint16(icecast.port()));
        QVERIFY(direct.waitForConnected(5000));
        direct.write("GET / HTTP/1.0\n\n");
        QTRY_VERIFY(heard.contains("\r\n\r\n"));

        RecordRig rig;
        QVERIFY(rig.open(QStringLiteral("127.0.0.1:%1").arg(icecast.port())));
        const QString target = rig.folder.filePath(QStringLiteral("opname.mp3"));
        rig.child<QLineEdit>("Text3")->setText(target);
        rig.click("Command1");
        // More than the server's burst: the recording runs live for a while.
        QTRY_VERIFY_WITH_TIMEOUT(rig.record->recording().bytesWritten() > 96 * 1024, 20000);
        auto *status = rig.child<QLabel>("lS");
        QTRY_COMPARE(status->text(), rig.text("RECstatConnected"));
        QVERIFY(status->font().bold());
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(Qt::red));
        if (const QString shots = qEnvironmentVariable("NORVALE_SCREENSHOTS"); !shots.isEmpty())
            rig.record->grab().save(shots + QStringLiteral("/recorder.png"));
        rig.click("Command3");
        QVERIFY(rig.idle());

        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray recorded = file.readAll();
        QCOMPARE(recorded.size(), rig.record->recording().bytesWritten());
        QTRY_VERIFY_WITH_TIMEOUT(heard.mid(heard.indexOf("\r\n\r\n") + 4).contains(recorded), 20000);

        const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
        if (ffprobe.isEmpty())
            QSKIP("ffprobe is missing (Debian package ffmpeg)");
        QProcess probe;
        probe.start(ffprobe, {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", target});
        QVERIFY(probe.waitForFinished(10000));
        QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("mp3"));
        QVERIFY(rig.reports.isEmpty() && rig.messages().isEmpty());
    }
};

QTEST_MAIN(TestRecordE2e)
#include "tst_record_e2e.moc"
