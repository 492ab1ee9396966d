#pragma once

#include "support/Environment.h"

#include <QApplication>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QWidget>

// The notification area of a test under scripts/xvfb-session: the program named by
// NORVALE_TRAY_HOST (trayer) is started by NORVALE_START_TRAY_HOST and must offer its area.
class TrayHost
{
public:
    QString start()
    {
        const QString program = qEnvironmentVariable("NORVALE_TRAY_HOST");
        if (program.isEmpty())
            return QStringLiteral("NORVALE_TRAY_HOST names no tray host (run under scripts/xvfb-session)");
        m_process.start(program, {});
        if (!m_process.waitForStarted(5000))
            return program + QStringLiteral(" does not start");
        return {};
    }

    // The window an icon shown in the area draws itself in, embedded by the host.
    static QWidget *iconWindow()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->inherits("QSystemTrayIconSys") && w->isVisible())
                return w;
        return nullptr;
    }

private:
    QProcess m_process; // ends with the test
};

#define NORVALE_START_TRAY_HOST(host)                                                                                  \
    do {                                                                                                               \
        NORVALE_REQUIRE_ENVIRONMENT((host).start());                                                                   \
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);                                     \
    } while (false)
