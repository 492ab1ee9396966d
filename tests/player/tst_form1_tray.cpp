#include "app/IniFile.h"
#include "app/NetTransfer.h"
#include "controls/Slider.h"
#include "directory/StationListLoader.h"
#include "player/Form1.h"
#include "support/FakeMediaPlayer.h"
#include "support/LocalHttpServer.h"
#include "support/TrayHost.h"

#include <QAction>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QtTest>
#include <filesystem>
#include <memory>

// The main window's life between the screen and the notification area, under Xvfb with
// trayer as the tray host: the close box hides it into an icon, the icon or "Open" brings
// it back, and the tray's "Close" stores the last station and ends the program.
class TestForm1Tray : public QObject
{
    Q_OBJECT

    struct Rig
    {
        QTemporaryDir folder;
        LocalHttpServer server {[](const QByteArray &target) {
            if (target == "/radio/inter/zenders/holland.txt")
                return LocalHttpReply {200, "<naam>Radio Een</naam><url>http://one.example/stream</url>"};
            return LocalHttpReply {404, "not here"};
        }};
        QNetworkAccessManager network;
        NetTransfer inet1 {&network}, inet2 {&network}, inet3 {&network};
        FakeMediaPlayer player;
        std::unique_ptr<Form1> form;

        Rig()
        {
            std::filesystem::copy(NORVALE_BINARY_DIR "/share/norvale", folder.path().toStdString(),
                                  std::filesystem::copy_options::recursive);
            // The close box hides rather than quits.
            WriteINI(iniPath(), QStringLiteral("Online Radio"), QStringLiteral("xsluiten"), QStringLiteral("0"));
            form = std::make_unique<Form1>(
                AppServices {folder.path(), QUrl(server.baseUrl()), &inet1, &inet2, &inet3, &player});
            form->load();
            form->show();
        }
        QString iniPath() const { return folder.filePath(QStringLiteral("INST.INI")); }
        QAction *trayAction(const char *name) const { return form->findChild<QAction *>(QLatin1String(name)); }
    };

    TrayHost m_host;

private Q_SLOTS:
    void initTestCase() { NORVALE_START_TRAY_HOST(m_host); }

    void closeBoxHidesAndTrayBringsBack_data()
    {
        QTest::addColumn<bool>("click");
        QTest::newRow("icon clicked") << true;
        QTest::newRow("tray menu Open") << false;
    }
    void closeBoxHidesAndTrayBringsBack()
    {
        QFETCH(bool, click);
        Rig rig;
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        QVERIFY(!TrayHost::iconWindow());
        rig.form->close();
        QTRY_VERIFY(!rig.form->isVisible());
        QTRY_VERIFY(TrayHost::iconWindow());

        if (click) { // the press alone: the icon is gone before a release could reach it
            QWidget *icon = TrayHost::iconWindow();
            QTest::mousePress(icon, Qt::LeftButton, {}, icon->rect().center());
        } else {
            rig.trayAction("open")->trigger();
        }
        QTRY_VERIFY(rig.form->isVisible());
        QTRY_VERIFY(!TrayHost::iconWindow());
        QCOMPARE(rig.player.calls().count(QStringLiteral("stop")), 0); // hidden, the radio played on
    }

    void trayCloseStoresStationAndEnds()
    {
        Rig rig;
        rig.form->findChild<StationListLoader *>()->onTimer1();
        auto *list1 = rig.form->findChild<QListWidget *>(QStringLiteral("List1"));
        QTRY_COMPARE(list1->item(0)->text(), QStringLiteral("Radio Een")); // no longer the placeholder
        QTest::mouseClick(list1->viewport(), Qt::LeftButton, {}, list1->visualItemRect(list1->item(0)).center());
        rig.form->findChild<Slider *>(QStringLiteral("Slider1"))->setValue(35);
        rig.form->close();
        QTRY_VERIFY(TrayHost::iconWindow());

        // The program ends when its event loop does; a loop still running after ten
        // seconds is ended with a code that fails the comparison.
        QTimer::singleShot(0, rig.trayAction("sluit"), &QAction::trigger);
        QTimer::singleShot(10000, &rig.player, [] { QApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!TrayHost::iconWindow());
        QStringList stored;
        for (const char *key : {"LaatsteNAAM", "LaatsteURL", "volume", "LaatsteLandNaam", "LaatsteLandBestand"})
            stored << ReadINI(rig.iniPath(), QStringLiteral("Onthouden"), QLatin1String(key));
        QCOMPARE(stored, (QStringList {"Radio Een", "http://one.example/stream", "35", "Holland", "holland.txt"}));
    }
};

QTEST_MAIN(TestForm1Tray)
#include "tst_form1_tray.moc"
