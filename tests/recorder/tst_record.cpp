#include "FakeMediaPlayer.h"
#include "IcecastServer.h"
#include "IniFile.h"
#include "Record.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

// A program folder with the shipped lang.ini, a playing scripted player, a parent
// window for the recorder and the reports it sends.
struct RecordRig
{
    QTemporaryDir folder;
    FakeMediaPlayer player;
    QWidget parent;
    QStringList reports;
    QPointer<Record> record;
    static QString language() { return QStringLiteral("Nederlands"); }
    LanguageTexts texts {folder.path(), language};

    RecordRig()
    {
        QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), folder.filePath(QStringLiteral("lang.ini")));
        player.setUrl(QStringLiteral("http://station.example/live"));
        player.script(PlayState::Playing, QStringLiteral("Playing"));
        player.clearCalls();
        WriteINI(folder.filePath("INST.INI"), "Record", "dir", folder.path()); // recordings stay in here
    }
    void report(const QString &text) { reports << text; }
    Record *open(const QString &recStream)
    {
        const auto report = std::bind_front(&RecordRig::report, this);
        return record = Record::openRecorder(&parent, {folder.path(), texts, recStream, "Radio Tien", &player, report});
    }
    template<typename T = QPushButton>
    T *child(const char *name) const
    {
        return record->findChild<T *>(QLatin1String(name));
    }
    void click(const char *name) const { QTest::mouseClick(child(name), Qt::LeftButton); }
    bool idle() const { return child("Command1")->isEnabled() && !child("Command3")->isEnabled(); }
    QStringList messages() const // the boxes open over the main window and the recorder
    {
        QStringList names;
        for (const QMessageBox *box : parent.findChildren<QMessageBox *>())
            names << box->objectName().mid(8); // "message_"
        names.sort();
        return names;
    }
};

// A loopback stream server: once a client's request is complete it sends a header and
// body, then closes unless told to stay, and keeps what the client sent.
struct StreamSource
{
    QTcpServer server;
    QByteArray body = QByteArray(64 * 1024, 'a');
    QByteArray request;

    StreamSource()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket *socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, &server, [this, socket] {
                request += socket->readAll();
                if (request.endsWith("\n\n")) {
                    socket->write("ICY 200 OK\r\nicy-name: Radio Tien\r\n\r\n" + body);
                    socket->disconnectFromHost();
                }
            });
        });
    }
    QString address(const char *host = "127.0.0.1") const
    {
        return QStringLiteral("%1:%2").arg(QLatin1String(host)).arg(server.serverPort());
    }
};

class TestRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failures_data()
    {
        QTest::addColumn<QString>("recStream"); // "source": the loopback source's address
        QTest::addColumn<QString>("target"); // "": the proposed path, "-": none
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("reported"); // also: the status line shows the error

        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const QString nobody = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        const auto row = [](const char *name, const QString &recStream, const QString &target,
                            const QStringList &messages, bool reported) {
            QTest::newRow(name) << recStream << target << messages << reported;
        };
        row("no server listening", nobody, "", {"Err", "errorREC"}, true);
        row("caption without colon", "127.0.0.1", "", {"errorREC"}, true);
        row("port not a number", "127.0.0.1:mp3", "", {"errorREC"}, true);
        row("empty path", "source", "-", {"errorREC2"}, false);
        row("folder is a file", "source", "INST.INI/x.mp3", {"errorRECfile"}, false);
        row("full disk", "source", "/dev/full", {"errorRECfile"}, false);
    }

    void failures()
    {
        QFETCH(QString, recStream);
        QFETCH(QString, target);
        QFETCH(QStringList, messages);
        QFETCH(bool, reported);
        StreamSource source;
        RecordRig rig;
        if (rig.open(recStream == "source" ? source.address() : recStream)) {
            if (!target.isEmpty())
                rig.child<QLineEdit>("Text3")->setText(target == "-" ? "" : QDir(rig.folder.path()).filePath(target));
            rig.click("Command1");
            // The start attempt ends with the player restarted, whatever its outcome.
            QTRY_COMPARE(rig.player.calls(), (QStringList {"stop", "play"}));
            QTRY_VERIFY(rig.idle());
            QVERIFY(QDir(rig.folder.path()).entryList({"*.mp3"}).isEmpty());
            QTRY_COMPARE(rig.child<QLabel>("lS")->text() == rig.texts("RECstatError"), reported);
        }
        QTRY_COMPARE(rig.messages(), messages);
        QCOMPARE(rig.reports, reported ? QStringList {"shoutc_http://station.example/live"} : QStringList {});
    }

    // The server ends the stream: every body byte is in the file, an older, longer file
    // of that name is gone, and the window says so.
    void serverCloseLeavesCompleteFile()
    {
        StreamSource source;
        for (int i = 0; i < 50000; ++i)
            source.body += QByteArray::number(QRandomGenerator::global()->generate(), 16) + "\r\n\r\n";
        RecordRig rig;
        QVERIFY(rig.open(source.address()));
        QFile file(rig.child<QLineEdit>("Text3")->text());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(source.body.size() + 5000, 'Z')));
        file.close();
        rig.click("Command1");
        QTRY_COMPARE(rig.messages(), QStringList {"RECended"});
        QCOMPARE(source.request, QByteArray("GET / HTTP/1.0\n\n"));
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == source.body);
        QVERIFY(rig.idle() && rig.reports.isEmpty());
        QTRY_COMPARE(rig.child<QLabel>("lS")->text(), rig.texts("RECstatClosed"));
    }

    // Stop while the host is being looked up ends the attempt at once, with nothing opened.
    void stopWhileConnecting()
    {
        StreamSource source;
        RecordRig rig;
        QVERIFY(rig.open(source.address("localhost")));
        rig.click("Command1");
        QVERIFY(rig.record->recording().isConnecting() && !rig.idle());
        rig.click("Command3");
        QCOMPARE(rig.player.calls(), (QStringList {"stop", "play"}));
        QVERIFY(rig.idle() && !QFile::exists(rig.child<QLineEdit>("Text3")->text()));
        QVERIFY(rig.messages().isEmpty() && rig.reports.isEmpty());
    }

    // A real Icecast serving its stream at "/": the file must be one contiguous run of
    // the body a plain listener hears, without a byte of the header.
    void recordsTheStreamBody()
    {
        IcecastServer icecast;
        NORVALE_START_ICECAST(icecast);
        // This listener connects first, so it hears at least everything the recorder will.
        QTcpSocket direct;
        QByteArray heard;
        connect(&direct, &QTcpSocket::readyRead, this, [&] { heard += direct.readAll(); });
        direct.connectToHost(QStringLiteral("127.0.0.1"), quint16(icecast.port()));
        direct.write("GET / HTTP/1.0\n\n");
        QTRY_VERIFY(heard.contains("\r\n\r\n"));

        RecordRig rig;
        QVERIFY(rig.open(QStringLiteral("127.0.0.1:%1").arg(icecast.port())));
        const QString target = rig.folder.filePath(QStringLiteral("opname.mp3"));
        rig.child<QLineEdit>("Text3")->setText(target);
        rig.click("Command1");
        // Beyond the server's burst: the recording runs live for a while.
        QTRY_VERIFY_WITH_TIMEOUT(rig.record->recording().bytesWritten() > 96 * 1024, 20000);
        QTRY_COMPARE(rig.child<QLabel>("lS")->text(), rig.texts("RECstatConnected"));
        const QLabel *status = rig.child<QLabel>("lS");
        QVERIFY(status->font().bold() && status->palette().color(QPalette::WindowText) == Qt::red);
        rig.click("Command3");

        QFile file(target);
        QVERIFY(rig.idle() && file.open(QIODevice::ReadOnly));
        const QByteArray recorded = file.readAll();
        QTRY_VERIFY_WITH_TIMEOUT(heard.mid(heard.indexOf("\r\n\r\n") + 4).contains(recorded), 20000);
        QVERIFY(rig.reports.isEmpty() && rig.messages().isEmpty());
    }
};

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
