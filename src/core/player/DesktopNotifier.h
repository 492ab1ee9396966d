#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

// The desktop's pop-up notice (org.freedesktop.Notifications) naming the station and
// the song. Each notice replaces the previous one, so a stream that changes titles
// leaves one notice, not a pile. Calls never wait for the notification server.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);

    // Station as the summary, song title as the body, both shown as plain text.
    void notify(const QString &station, const QString &title);
    // The station's logo as a local file shown with the next notices; empty for none.
    void setIcon(const QString &path) { m_icon = path.isEmpty() ? QString() : QUrl::fromLocalFile(path).toString(); }

    // The id the server gave the last notice, 0 before the first answer.
    uint lastId() const { return m_id; }

Q_SIGNALS:
    // A notice was answered (id) or refused; tests and the window may ignore it.
    void delivered(uint id);
    void failed();

private:
    struct Notice
    {
        QString station;
        QString title;
    };
    void askCapabilities();
    void sendNext();

    QDBusConnection m_bus;
    QString m_icon;
    uint m_id = 0;
    bool m_busy = false; // one call in flight, so each notice knows the id it replaces
    std::optional<bool> m_bodyMarkup; // unknown until the server has told
    std::optional<Notice> m_pending; // only the newest waits; older ones are stale
};
