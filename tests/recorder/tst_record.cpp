#include "RecordRig.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// A loopback stream server: answers every connection with a header and body at once,
// then closes it when told to, and keeps the bytes each client sent.
struct StreamSource
{
    QTcpServer server;
    QByteArray body;
    bool closeAfter = true;
    QByteArray request;

    StreamSource()
    {
        server.listen(QHostAddress::LocalHost);
        // Like a real stream server, it answers once the request is complete.
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket *socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, &server, [this, socket] {
                request += socket->readAll();
                if (!request.endsWith("\n\n"))
                    return;
                socket->write("ICY 200 OK\r\nicy-name: Radio Tien\r\ncontent-type: audio/mpeg\r\n\r\n" + body);
                if (closeAfter)
                    socket->disconnectFromHost();
            });
        });
    }
    QString address(const char *host = "127.0.0.1") const
    {
        return QStringLiteral("%1:%2").arg(QLatin1String(host)).arg(server.serverPort());
    }
};

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failures_data()
    {
        QTest::addColumn<QString>("recStream"); // "source": the loopback source's address
        QTest::addColumn<QString>("target"); // "": the proposed path
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("reported");

        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const QString nobody = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        const QStringList file {"errorRECfile"};
        QTest::newRow("no server listening") << nobody << "" << QStringList {"Err", "errorREC"} << true;
        QTest::newRow("caption without colon") << "127.0.0.1"
                                               << "" << QStringList {"errorREC"} << true;
        QTest::newRow("port not a number") << "127.0.0.1:mp3"
                                           << "" << QStringList {"errorREC"} << true;
        QTest::newRow("empty path") << "source"
                                    << "-" << QStringList {"errorREC2"} << false;
        QTest::newRow("folder is a file") << "source"
                                          << "INST.INI/x.mp3" << file << false;
        QTest::newRow("missing folder") << "source"
                                        << "gone/x.mp3" << file << false;
        QTest::newRow("full disk") << "source"
                                   << "/dev/full" << file << false;
    }

    void failures()
    {
        QFETCH(QString, recStream);
        QFETCH(QString, target);
        QFETCH(QStringList, messages);
        QFETCH(bool, reported);
        StreamSource source;
        source.body = QByteArray(64 * 1024, 'a');
        RecordRig rig;
        WriteINI(rig.folder.filePath("INST.INI"), "Record", "dir", rig.folder.path());

        if (rig.open(recStream == "source" ? source.address() : recStream)) {
            auto *text3 = rig.child<QLineEdit>("Text3");
            if (!target.isEmpty())
                text3->setText(target == "-" ? QString() : QDir(rig.folder.path()).absoluteFilePath(target));
            rig.click("Command1");
            // The start attempt ends with the player restarted, whatever its outcome.
            QTRY_COMPARE(rig.player.calls(), (QStringList {"stop", "play"}));
            QTRY_VERIFY(rig.idle());
            QVERIFY(!QFile::exists(rig.folder.filePath("Opname Radio Tien 9.5.mp3")));
            if (reported)
                QTRY_COMPARE(rig.child<QLabel>("lS")->text(), rig.text("RECstatError"));
        }
        QTRY_COMPARE(rig.messages(), messages);
        QCOMPARE(rig.reports, reported ? QStringList {"shoutc_http://station.example/live"} : QStringList {});
    }

    // The server ends the stream: every body byte lands in the file chosen with the
    // file chooser, an older longer file of that name is replaced, and the window says so.
    void serverCloseLeavesCompleteFile()
    {
        StreamSource source;
        for (int i = 0; i < 50000; ++i)
            source.body += QByteArray::number(QRandomGenerator::global()->generate(), 16) + "\r\n\r\n";
        RecordRig rig;
        QVERIFY(rig.open(source.address()));
        const QString target = rig.folder.filePath("keuze/eigen.mp3");
        QDir(rig.folder.path()).mkdir("keuze");

        rig.click("Command4");
        auto *chooser = rig.child<QFileDialog>("CMD1");
        QVERIFY(chooser);
        chooser->selectFile(target);
        QMetaObject::invokeMethod(chooser, "accept");
        QCOMPARE(rig.child<QLineEdit>("Text3")->text(), target);
        QCOMPARE(ReadINI(rig.folder.filePath("INST.INI"), "Record", "dir"), rig.folder.filePath("keuze/"));

        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(source.body.size() + 5000, 'Z')));
        old.close();
        rig.click("Command1");
        QTRY_COMPARE(rig.messages(), QStringList {"RECended"});
        QCOMPARE(source.request, QByteArray("GET / HTTP/1.0\n\n"));
        QFile recorded(target);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        QVERIFY(recorded.readAll() == source.body);
        QVERIFY(rig.idle());
        QTRY_COMPARE(rig.child<QLabel>("lS")->text(), rig.text("RECstatClosed"));
        QVERIFY(rig.reports.isEmpty());
    }

    // Stop while the host is still being looked up: the attempt ends at once and
    // nothing is opened or reported.
    void stopWhileConnecting()
    {
        StreamSource source;
        source.closeAfter = false;
        RecordRig rig;
        QVERIFY(rig.open(source.address("localhost")));
        rig.click("Command1");
        QVERIFY(rig.record->recording().isConnecting());
        QVERIFY(!rig.idle());
        rig.click("Command3");
        QCOMPARE(rig.player.calls(), (QStringList {"stop", "play"}));
        QCOMPARE(rig.record->recording().stateCode(), 0);
        QVERIFY(rig.idle());
        QVERIFY(!QFile::exists(rig.child<QLineEdit>("Text3")->text()));
        rig.click("Command2");
        QTRY_VERIFY(!rig.record);
        QVERIFY(rig.messages().isEmpty() && rig.reports.isEmpty());
    }
};

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
