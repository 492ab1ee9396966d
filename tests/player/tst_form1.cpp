#include "FakeMediaPlayer.h"
#include "Form1.h"
#include "IniFile.h"
#include "LocalHttpServer.h"
#include "NetTransfer.h"
#include "StationListLoader.h"

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

const QByteArray kHolland = "<naam>Radio Een</naam><url>http://one.example/stream</url>"
                            "<homepage>http://one.example/</homepage>\n"
                            "<naam>Caf\xc3\xa9 FM</naam><url>http://two.example/live?x=1&y=2</url>"
                            "<homepage>http://two.example/</homepage>\n"
                            "<naam>Zonder stream</naam>";

// One main window over a fresh program folder, a loopback directory server and the
// scripted player.
struct Rig
{
    QTemporaryDir folder;
    std::unique_ptr<LocalHttpServer> server;
    QNetworkAccessManager network;
    std::unique_ptr<NetTransfer> inet1, inet2, inet3;
    FakeMediaPlayer player;
    std::unique_ptr<Form1> form;

    Rig(const QString &language, LocalHttpServer::Handler handler)
    {
        QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), folder.filePath(QStringLiteral("lang.ini")));
        WriteINI(folder.filePath(QStringLiteral("INST.INI")), QStringLiteral("Online Radio"), QStringLiteral("taal"),
                 language);
        server = std::make_unique<LocalHttpServer>(std::move(handler));
        inet1 = std::make_unique<NetTransfer>(&network);
        inet2 = std::make_unique<NetTransfer>(&network);
        inet3 = std::make_unique<NetTransfer>(&network);
        AppServices services;
        services.programFolder = folder.path();
        services.directoryBase = QUrl(server->baseUrl());
        services.inet1 = inet1.get();
        services.inet2 = inet2.get();
        services.inet3 = inet3.get();
        services.player = &player;
        form = std::make_unique<Form1>(services);
        form->load();
    }

    template<typename T>
    T *child(const char *name) const
    {
        return form->findChild<T *>(QLatin1String(name));
    }
    QString text(const char *key) const { return form->texts().TaalTekst(QLatin1String(key)); }
};

LocalHttpReply serveHolland(const QByteArray &target)
{
    if (target == "/radio/inter/zenders/holland.txt")
        return {200, kHolland};
    return {404, "not here"};
}

QStringList entries(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadShowsPlaceholderThenStations_data();
    void loadShowsPlaceholderThenStations();
    void clickPlaysStation_data();
    void clickPlaysStation();
    void playStopFollowsState_data();
    void playStopFollowsState();
    void statusSetsCaptionAndLine_data();
    void statusSetsCaptionAndLine();
    void repeatedFailuresShowError10();
};

void TestForm1::loadShowsPlaceholderThenStations_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("Dutch") << "Nederlands";
    QTest::newRow("English") << "english";
}

void TestForm1::loadShowsPlaceholderThenStations()
{
    QFETCH(QString, language);
    Rig rig(language, serveHolland);
    auto *list1 = rig.child<QListWidget>("List1");
    QVERIFY(!rig.text("error14").isEmpty());
    QCOMPARE(entries(list1), QStringList {rig.text("error14")});

    QTRY_COMPARE_WITH_TIMEOUT(list1->count(), 3, 6000);
    QCOMPARE(entries(list1), (QStringList {"Radio Een", "Café FM", "Zonder stream"}));
    QCOMPARE(entries(rig.child<QListWidget>("List2")),
             (QStringList {"http://one.example/stream", "http://two.example/live?x=1&y=2"}));
    QCOMPARE(rig.child<QListWidget>("List3")->count(), 2);
    QCOMPARE(rig.child<QPlainTextEdit>("DownloadInfo")->toPlainText(), QString::fromUtf8(kHolland));
    // The text pass has put the language's captions up.
    QTRY_COMPARE(rig.child<QLabel>("Label8")->text(), rig.text("label8"));
}

void TestForm1::clickPlaysStation_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("homepage");

    QTest::newRow("first") << 0 << "http://one.example/stream"
                           << "Radio Een"
                           << "http://one.example/";
    QTest::newRow("query in url") << 1 << "http://two.example/live?x=1&y=2"
                                  << "Café FM"
                                  << "http://two.example/";
    QTest::newRow("no url entry") << 2 << ""
                                  << "Zonder stream"
                                  << "";
}

void TestForm1::clickPlaysStation()
{
    QFETCH(int, row);
    QFETCH(QString, url);
    QFETCH(QString, name);
    QFETCH(QString, homepage);

    Rig rig(QStringLiteral("Nederlands"), serveHolland);
    auto *list1 = rig.child<QListWidget>("List1");
    QTRY_COMPARE_WITH_TIMEOUT(list1->count(), 3, 6000);
    rig.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));

    const QRect rect = list1->visualItemRect(list1->item(row));
    QTest::mouseClick(list1->viewport(), Qt::LeftButton, {}, rect.center());

    QCOMPARE(rig.player.calls(), QStringList {QStringLiteral("setUrl ") + url});
    QCOMPARE(rig.child<QLabel>("ZenderNaam")->text(), name);
    QCOMPARE(rig.child<QLabel>("RadioUrl")->text(), homepage);
    QCOMPARE(rig.child<QLabel>("verstuurMelding")->text(), QStringLiteral("zender_") + url);
}

void TestForm1::playStopFollowsState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("stopped plays") << int(PlayState::Stopped) << QStringList {"play"};
    QTest::newRow("ready plays") << int(PlayState::Ready) << QStringList {"play"};
    QTest::newRow("playing stops") << int(PlayState::Playing) << QStringList {"stop"};
    QTest::newRow("transitioning stops") << int(PlayState::Transitioning) << QStringList {"stop"};
    QTest::newRow("paused does nothing") << int(PlayState::Paused) << QStringList {};
    QTest::newRow("buffering does nothing") << int(PlayState::Buffering) << QStringList {};
}

void TestForm1::playStopFollowsState()
{
    QFETCH(int, state);
    QFETCH(QStringList, calls);
    Rig rig(QStringLiteral("Nederlands"), serveHolland);
    rig.player.setPlayState(state);
    QTest::mouseClick(rig.child<QPushButton>("Command3"), Qt::LeftButton);
    QCOMPARE(rig.player.calls(), calls);
}

void TestForm1::statusSetsCaptionAndLine_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("captionKey");

    QTest::newRow("stopped") << int(PlayState::Stopped) << "command3b";
    QTest::newRow("playing") << int(PlayState::Playing) << "command3";
    QTest::newRow("ready") << int(PlayState::Ready) << "command3b";
    QTest::newRow("transitioning") << int(PlayState::Transitioning) << "command3c";
}

void TestForm1::statusSetsCaptionAndLine()
{
    QFETCH(int, state);
    QFETCH(QString, captionKey);
    Rig rig(QStringLiteral("english"), serveHolland);
    QTRY_VERIFY(!rig.form->findChild<QTimer *>(QStringLiteral("Timer5"))->isActive()); // texts applied
    // Nothing plays yet: the button offers to play.
    QCOMPARE(rig.child<QPushButton>("Command3")->text(), rig.text("command3b"));
    rig.player.script(state, QStringLiteral("status %1").arg(state));
    QCOMPARE(rig.child<QPushButton>("Command3")->text(), rig.form->texts().TaalTekst(captionKey));
    QCOMPARE(rig.child<QLabel>("Label14")->text(), QStringLiteral("status %1").arg(state));
}

void TestForm1::repeatedFailuresShowError10()
{
    Rig rig(QStringLiteral("Nederlands"), [](const QByteArray &) { return LocalHttpReply {500, "boom"}; });
    auto *loader = rig.form->findChild<StationListLoader *>();
    QVERIFY(loader);
    auto *counter = rig.child<QLabel>("errorZendersLaden");
    // Drive Timer1's ticks directly instead of waiting two seconds for each.
    for (int failure = 1; failure <= 11; ++failure) {
        loader->onTimer1();
        QTRY_VERIFY(!loader->isFetching());
        QVERIFY2(!rig.form->findChild<QMessageBox *>(), "error10 shown too early");
        QCOMPARE(counter->text(), QString::number(failure));
    }
    loader->onTimer1();
    QTRY_VERIFY(!loader->isFetching());
    auto *box = rig.form->findChild<QMessageBox *>(QStringLiteral("message_error10"));
    QVERIFY(box);
    QCOMPARE(box->text(), rig.text("error10"));
    QCOMPARE(box->windowTitle(), rig.text("error0"));
    QCOMPARE(counter->text(), QStringLiteral("0"));
    QVERIFY(loader->isActive()); // still retrying
    QCOMPARE(entries(rig.child<QListWidget>("List1")), QStringList {rig.text("error14")});
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
