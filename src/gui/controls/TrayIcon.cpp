#include "controls/TrayIcon.h"

#include <QTextDocument>

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent)
    , m_icon(new QSystemTrayIcon(this))
{
    setScreenTip(m_screenTip);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
}

TrayIcon::~TrayIcon()
{
    m_icon->hide();
}

bool TrayIcon::isAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::Add(const QIcon &icon)
{
    if (!isAvailable())
        return false;
    m_icon->setIcon(icon);
    m_icon->show();
    return true;
}

void TrayIcon::Remove()
{
    m_icon->hide();
}

bool TrayIcon::isAdded() const
{
    return m_icon->isVisible();
}

void TrayIcon::setScreenTip(const QString &tip)
{
    m_screenTip = tip;
    // The tip holds a station name from the directory. Some notification areas show a
    // tip that looks like markup as rich text; such a tip is handed over escaped, so it
    // shows as the text it is and never loads a picture.
    const QString shown = tip.left(kMaxTipLength);
    m_icon->setToolTip(Qt::mightBeRichText(shown) ? Qt::convertFromPlainText(shown, Qt::WhiteSpaceNoWrap) : shown);
}

void TrayIcon::setContextMenu(QMenu *menu)
{
    m_icon->setContextMenu(menu);
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Q_EMIT Click();
        break;
    case QSystemTrayIcon::DoubleClick:
        Q_EMIT DblClick();
        break;
    case QSystemTrayIcon::Context:
        Q_EMIT RightClick();
        break;
    default:
        break;
    }
}
