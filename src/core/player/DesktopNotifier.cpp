#include "player/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

constexpr auto kService = "org.freedesktop.Notifications";
constexpr auto kPath = "/org/freedesktop/Notifications";
// A stream's title comes from outside: a notice of a screen's worth is plenty.
constexpr qsizetype kMaxText = 300;

QDBusMessage call(const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kService),
                                          QLatin1String(method));
}

// One line of at most kMaxText characters with no control characters, which some
// servers would act on.
QString oneLine(const QString &text)
{
    QString out = text.left(kMaxText);
    for (QChar &c : out) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return out.simplified();
}

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{ }

void DesktopNotifier::notify(const QString &station, const QString &title)
{
    m_pending = Notice {oneLine(station), oneLine(title)};
    if (m_busy || !m_bus.isConnected())
        return;
    if (m_bodyMarkup)
        sendNext();
    else
        askCapabilities();
}

// Servers that understand markup in the body would render a title such as "<b>" or
// "<img src=…>"; the body is escaped for those and sent as it is to the others.
void DesktopNotifier::askCapabilities()
{
    m_busy = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        // Without an answer, escaping is the safe side: at worst an entity shows literally.
        m_bodyMarkup = reply.isError() || reply.value().contains(QLatin1String("body-markup"));
        m_busy = false;
        sendNext();
    });
}

void DesktopNotifier::sendNext()
{
    if (!m_pending)
        return;
    const Notice notice = *m_pending;
    m_pending.reset();
    m_busy = true;

    QDBusMessage message = call("Notify");
    message << QStringLiteral("Norvale Internet Radio") << m_id << m_icon << notice.station
            << (*m_bodyMarkup ? notice.title.toHtmlEscaped() : notice.title) << QStringList()
            << QVariantMap {{QStringLiteral("desktop-entry"), QStringLiteral("norvale")}} << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        m_busy = false;
        if (reply.isError()) {
            Q_EMIT failed();
        } else {
            m_id = reply.value();
            Q_EMIT delivered(m_id);
        }
        sendNext();
    });
}
