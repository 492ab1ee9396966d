#include "PlayerRig.h"
#include "controls/Slider.h"
#include "support/TrayHost.h"

#include <QAction>

// The main window's life between the screen and the notification area, under Xvfb with
// trayer as the tray host: the close box hides it into an icon, the icon or "Open" brings
// it back, and the tray's "Close" stores the last station and ends the program.
class TestForm1Tray : public QObject
{
    Q_OBJECT

    // The close box hides rather than quits.
    struct TrayRig : Rig
    {
        TrayRig()
            : Rig(QStringLiteral("Nederlands"))
        {
            WriteINI(ini(), QStringLiteral("Online Radio"), QStringLiteral("xsluiten"), QStringLiteral("0"));
            form->show();
        }
        QAction *trayAction(const char *name) const { return child<QAction>(name); }
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
        TrayRig rig;
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
        TrayRig rig;
        QVERIFY(rig.fetch());
        auto *list1 = rig.child<QListWidget>("List1");
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
            stored << rig.remembered(key);
        QCOMPARE(stored, (QStringList {"Radio Een", "http://one.example/stream", "35", "Holland", "holland.txt"}));
    }
};

QTEST_MAIN(TestForm1Tray)
#include "tst_form1_tray.moc"
