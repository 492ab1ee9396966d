#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

// One icon in the desktop's notification area. Trigger, double click and context
// activation of the icon arrive as Click, DblClick and RightClick.
//
// Not every desktop has a notification area: Add() then shows nothing and returns
// false, and a window that would hide into the tray has to stay shown instead.
class TrayIcon final : public QObject
{
    Q_OBJECT
public:
    // The longest tip the notification area takes; a longer one is cut.
    static constexpr int kMaxTipLength = 63;

    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // True when the desktop offers a notification area now.
    static bool isAvailable();

    // Shows the icon with the current ScreenTip. Returns whether the icon is in a
    // notification area; false without one (nothing is shown then).
    bool Add(const QIcon &icon);
    // Takes the icon away; harmless when none is shown.
    void Remove();
    bool isAdded() const;

    // The tip shows at once, also on an icon already shown: a listener with the window
    // hidden learns from it what plays.
    QString ScreenTip() const { return m_screenTip; }
    void setScreenTip(const QString &tip);

    // The icon's own menu. A notification area that hosts icons over D-Bus
    // (StatusNotifierItem, and every Wayland desktop) opens only a menu attached to the
    // icon; it sends no right click to pop one up at. The menu is not taken over.
    void setContextMenu(QMenu *menu);

Q_SIGNALS:
    void Click();
    void DblClick();
    void RightClick();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon *m_icon = nullptr;
    QString m_screenTip = QStringLiteral(" ");
};
