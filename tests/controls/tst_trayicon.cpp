#include "controls/TrayIcon.h"
#include "support/TrayHost.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>
#include <QtTest>

// Run offscreen (addAndRemove alone), nothing offers a notification area; under Xvfb
// (tst_trayicon_xvfb) NORVALE_TRAY_HOST is started as the tray host first.
class TestTrayIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_withHost = qEnvironmentVariableIsSet("NORVALE_TRAY_HOST");
        if (m_withHost)
            NORVALE_START_TRAY_HOST(m_host);
    }

    void addAndRemove()
    {
        // Without a tray the icon must report that it is not shown, so the window that
        // would hide into it stays on screen.
        QCOMPARE(TrayIcon::isAvailable(), m_withHost);
        TrayIcon tray;
        QCOMPARE(tray.Add(QApplication::style()->standardIcon(QStyle::SP_MediaPlay)), m_withHost);
        QCOMPARE(tray.isAdded(), m_withHost);
        tray.Remove();
        tray.Remove();
        QVERIFY(!tray.isAdded());
        QCOMPARE(tray.Add(QApplication::style()->standardIcon(QStyle::SP_MediaStop)), m_withHost);
        QCOMPARE(tray.isAdded(), m_withHost);
    }

    void clicks_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("twice");
        QTest::addColumn<QStringList>("events");
        // A double click starts as a click, as the shell's own icons do.
        QTest::newRow("left click") << Qt::LeftButton << false << QStringList {"Click"};
        QTest::newRow("double click") << Qt::LeftButton << true << QStringList {"Click", "DblClick"};
        QTest::newRow("right click") << Qt::RightButton << false << QStringList {"RightClick"};
    }

    void clicks()
    {
        NORVALE_REQUIRE_ENVIRONMENT(m_withHost ? QString() : QStringLiteral("a tray host (tst_trayicon_xvfb)"));
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, twice);
        TrayIcon tray;
        QStringList seen;
        connect(&tray, &TrayIcon::Click, this, [&] { seen << "Click"; });
        connect(&tray, &TrayIcon::DblClick, this, [&] { seen << "DblClick"; });
        connect(&tray, &TrayIcon::RightClick, this, [&] { seen << "RightClick"; });
        QVERIFY(tray.Add(QApplication::style()->standardIcon(QStyle::SP_MediaPlay)));

        QTRY_VERIFY(TrayHost::iconWindow());
        QWidget *icon = TrayHost::iconWindow();
        const QPoint centre = icon->rect().center();
        QTest::mouseClick(icon, button, {}, centre);
        if (twice) // what the window system delivers: a press and release, then the double click
            QTest::mouseDClick(icon, button, {}, centre);
        seen.removeDuplicates();
        QTEST(seen, "events");
    }

private:
    bool m_withHost = false;
    TrayHost m_host;
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
