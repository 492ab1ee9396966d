#include "PlayerRig.h"
#include "controls/TrayIcon.h"
#include "support/TrayHost.h"

#include <QAction>
#include <QStyle>

// Under Xvfb with trayer as the tray host: the icon control's clicks, and the main window's
// life between the screen and the notification area. Offscreen, with no tray at all, the
// window goes to the task bar instead (tst_form1).
class TestForm1Tray : public QObject
{
    Q_OBJECT

    TrayHost m_host;

private Q_SLOTS:
    void initTestCase() { NORVALE_START_TRAY_HOST(m_host); }

    void iconClicks_data()
    {
        QTest::addColumn<Qt::MouseButton>("button"); // the left one clicked twice
        QTest::addColumn<QStringList>("events");
        // A double click starts as a click, as the shell's own icons do; the click alone brings the window back below.
        QTest::newRow("double click") << Qt::LeftButton << QStringList {"Click", "DblClick"};
        QTest::newRow("right click") << Qt::RightButton << QStringList {"RightClick"};
    }
    void iconClicks()
    {
        QFETCH(Qt::MouseButton, button);
        TrayIcon tray;
        QStringList seen;
        connect(&tray, &TrayIcon::Click, this, [&] { seen << "Click"; });
        connect(&tray, &TrayIcon::DblClick, this, [&] { seen << "DblClick"; });
        connect(&tray, &TrayIcon::RightClick, this, [&] { seen << "RightClick"; });
        QVERIFY(tray.Add(QApplication::style()->standardIcon(QStyle::SP_MediaStop)));
        tray.Remove();
        tray.Remove();
        QVERIFY(!tray.isAdded());
        QTRY_VERIFY(!TrayHost::iconWindow());
        QVERIFY(tray.Add(QApplication::style()->standardIcon(QStyle::SP_MediaPlay)));
        QTRY_VERIFY(TrayHost::iconWindow());
        QWidget *icon = TrayHost::iconWindow();
        QTest::mouseClick(icon, button, {}, icon->rect().center());
        if (button == Qt::LeftButton) // what the window system delivers: a press and release, then the double click
            QTest::mouseDClick(icon, button, {}, icon->rect().center());
        seen.removeDuplicates();
        QTEST(seen, "events");
    }

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
        WriteINI(rig.ini(), QStringLiteral("Online Radio"), QStringLiteral("xsluiten"), QStringLiteral("0"));
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        QVERIFY(!TrayHost::iconWindow());
        rig.form->close();
        QTRY_VERIFY(!rig.form->isVisible());
        QTRY_VERIFY(TrayHost::iconWindow());

        if (click) { // the press alone: the icon is gone before a release could reach it
            QWidget *icon = TrayHost::iconWindow();
            QTest::mousePress(icon, Qt::LeftButton, {}, icon->rect().center());
        } else {
            rig.child<QAction>("open")->trigger();
        }
        QTRY_VERIFY(rig.form->isVisible());
        QTRY_VERIFY(!TrayHost::iconWindow());
        QCOMPARE(rig.player.calls().count(QStringLiteral("stop")), 0); // hidden, the radio played on
    }
};

QTEST_MAIN(TestForm1Tray)
#include "tst_form1_tray.moc"
