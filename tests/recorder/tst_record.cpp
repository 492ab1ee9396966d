#include "app/IniFile.h"
#include "recorder/Record.h"
#include "support/FakeMediaPlayer.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <csignal>
#include <sys/resource.h>

// A program folder with lang.ini, a playing player, the recorder's parent and its reports.
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
    Record *open(const QString &recStream, const QString &station = "Radio Tien")
    {
        const auto report = std::bind_front(&RecordRig::report, this);
        return record = Record::openRecorder(&parent, {folder.path(), texts, recStream, station, &player, report});
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

// Answers a complete request with header and body, closes, and keeps the request.
struct StreamSource
{
    QTcpServer server;
    QByteArray header = "ICY 200 OK\r\nicy-name: Radio Tien\r\n\r\n";
    QByteArray body = QByteArray(64 * 1024, 'a');
    QByteArray request;

    StreamSource()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket *socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, &server, [this, socket] {
                request += socket->readAll();
                if (request.endsWith("\n\n") || request.endsWith("\n\r\n")) {
                    socket->write(header + body);
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

        const auto row = [](const char *name, const QString &recStream, const QString &target,
                            const QStringList &messages, bool reported) {
            QTest::newRow(name) << recStream << target << messages << reported;
        };
        row("no server listening", "127.0.0.1:1", "", {"Err", "errorREC"}, true);
        row("caption without colon", "127.0.0.1", "", {"errorREC"}, true);
        row("port not a number", "127.0.0.1:mp3", "", {"errorREC"}, true);
        row("empty path", "source", "-", {"errorREC2"}, false);
        row("folder is a file", "source", "INST.INI/x.mp3", {"errorRECfile"}, false);
        row("full disk", "source", "", {"errorRECfile"}, false); // files held to 4 kB
        row("per song, metadata interval 0", "source", "", {"errorREC"}, true);
    }

    void failures()
    {
        QFETCH(QString, recStream);
        QFETCH(QString, target);
        QFETCH(QStringList, messages);
        QFETCH(bool, reported);
        StreamSource source;
        RecordRig rig;
        // A disk that fills up: the system refuses writes past 4 kB for this test.
        const bool limited = QByteArray(QTest::currentDataTag()) == "full disk";
        rlimit unlimited {};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const auto restore = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &unlimited); });
        if (limited) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit small {4096, unlimited.rlim_max};
            setrlimit(RLIMIT_FSIZE, &small);
        }
        if (rig.open(recStream == "source" ? source.address() : recStream)) {
            if (QByteArray(QTest::currentDataTag()).startsWith("per song")) {
                source.header = "ICY 200 OK\r\ncontent-type: audio/mpeg\r\nicy-metaint: 0\r\n\r\n";
                rig.child<QCheckBox>("Check1")->click();
            }
            if (!target.isEmpty())
                rig.child<QLineEdit>("Text3")->setText(target == "-" ? "" : QDir(rig.folder.path()).filePath(target));
            rig.click("Command1");
            // The start attempt ends with the player restarted, whatever its outcome.
            QTRY_COMPARE(rig.player.calls(), (QStringList {"stop", "play"}));
            QTRY_VERIFY(rig.idle());
            QCOMPARE(QDir(rig.folder.path()).entryList({"*.mp3"}).size(), int(limited));
            QTRY_COMPARE(rig.child<QLabel>("lS")->text() == rig.texts("RECstatError"), reported);
        }
        QTRY_COMPARE(rig.messages(), messages);
        QCOMPARE(rig.reports, reported ? QStringList {"shoutc_http://station.example/live"} : QStringList {});
    }

    void serverCloseLeavesCompleteFile_data()
    {
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("named"); // the recording's name without its time
        QTest::newRow("an earlier take of the minute is kept") << "Radio Tien"
                                                               << "Opname Radio Tien (2).mp3";
        QTest::newRow("address only: the stream's name") << "http://station.example/live"
                                                         << "Opname Radio Tien.mp3";
    }

    // The server ends the stream: every byte is kept, an earlier file stays, the window says so.
    void serverCloseLeavesCompleteFile()
    {
        QFETCH(QString, station);
        StreamSource source;
        for (int i = 0; i < 50000; ++i)
            source.body += QByteArray::number(QRandomGenerator::global()->generate(), 16) + "\r\n\r\n";
        RecordRig rig;
        QVERIFY(rig.open(source.address(), station));
        QFile earlier(rig.child<QLineEdit>("Text3")->text());
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier take") && earlier.flush());
        rig.click("Command1");
        QTRY_COMPARE(rig.messages(), QStringList {"RECended"});
        QCOMPARE(source.request, QByteArray("GET / HTTP/1.0\n\n"));
        QFile file(rig.record->recording().files().value(0));
        QTEST(file.fileName().section('/', -1).remove(QRegularExpression(" \\d+\\.\\d+")), "named");
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == source.body);
        earlier.close();
        QVERIFY(earlier.open(QIODevice::ReadOnly) && earlier.readAll() == "earlier take");
        QVERIFY(rig.idle() && rig.reports.isEmpty());
        QTRY_COMPARE(rig.child<QLabel>("lS")->text(), rig.texts("RECstatClosed"));
    }

    // Per-song choices and plans (added with Enter, removed with Delete) outlive the window.
    void choicesRemembered()
    {
        RecordRig rig;
        QVERIFY(rig.open(QStringLiteral("127.0.0.1:8000")));
        rig.child<QCheckBox>("Check1")->click();
        rig.child<QCheckBox>("CheckDay7")->click();
        rig.child<QTimeEdit>("TimePlanStart")->setTime(QTime(21, 0));
        QTest::keyClick(rig.child<QLineEdit>("TextPlanStation"), Qt::Key_Return);
        rig.record->close();
        QVERIFY(rig.open(QStringLiteral("127.0.0.1:8000")));
        QVERIFY(rig.child<QCheckBox>("Check1")->isChecked() && !rig.child<QCheckBox>("Check2")->isChecked());
        QCOMPARE(ReadINI(rig.folder.filePath("INST.INI"), "Record plan", "plan1"), "123456|21:00|60|0|Radio Tien");
        auto *list = rig.child<QListWidget>("ListPlan");
        QCOMPARE(list->count(), 1);
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(list->count() == 0 && ReadINI(rig.folder.filePath("INST.INI"), "Record plan", "plan1").isEmpty());
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
};

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
