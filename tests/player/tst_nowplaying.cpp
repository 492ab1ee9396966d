#include "DesktopNotifier.h"
#include "MediaPlayer.h"
#include "MprisService.h"
#include "NowPlaying.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QProcess>
#include <QtTest>

namespace {

constexpr auto kService = "org.mpris.MediaPlayer2.norvale";

QByteArray utf16le(QStringView text)
{
    QByteArray out;
    for (const QChar c : text)
        out.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    return out;
}

// The main window as the service sees it.
struct FakeWindow
{
    int state = PlayState::Playing;
    QString station = QStringLiteral("Radio Een"), song, url = QStringLiteral("http://one.example/stream");
    int volume = 50;
    QStringList calls;

    MprisHooks hooks()
    {
        auto record = [this](const QString &call) {
            return [this, call] {
                calls << call;
            };
        };
        return {[this] { return state; },
                [this] { return station; },
                [this] { return song; },
                [this] { return url; },
                [this] { return volume; },
                record(QStringLiteral("play")),
                record(QStringLiteral("stop")),
                record(QStringLiteral("playPause")),
                [this](const QString &uri) { calls << QStringLiteral("open ") + uri; },
                [this](int v) { volume = v; },
                record(QStringLiteral("raise")),
                record(QStringLiteral("quit"))};
    }
};

// A client of the bus of its own, as playerctl or a desktop widget is.
QDBusMessage callService(const QString &interface, const QString &method, const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kService),
                                                          QStringLiteral("/org/mpris/MediaPlayer2"), interface, method);
    message.setArguments(args);
    QDBusPendingCallWatcher watcher(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client")).asyncCall(message));
    // Unfinished, the reply is invalid and fails the caller's check.
    (void)QTest::qWaitFor([&] { return watcher.isFinished(); }, 5000);
    return watcher.reply();
}

} // namespace

// Collects PropertiesChanged as a client receives it.
class ChangeRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QVariantMap> changes;
public Q_SLOTS:
    void record(const QString &, const QVariantMap &changed, const QStringList &) { changes << changed; }
};

// The notification server of a desktop, reduced to what the notifier uses.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities;
    QList<QStringList> notices; // replaced id, summary, body
public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &, uint replaces, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        notices << QStringList {QString::number(replaces), summary, body};
        return 40 + notices.size();
    }
};

class TestNowPlaying : public QObject
{
    Q_OBJECT
    FakeWindow m_window;
    MprisService *m_service = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        m_service = new MprisService(m_window.hooks(), this);
        QVERIFY(m_service->registerOn());
        QCOMPARE(m_service->serviceName(), QLatin1String(kService));
    }

    void payload_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("expected"); // without the final U+0000
        QTest::newRow("station") << "Ik luister naar"
                                 << "Radio Een"
                                 << R"(\0Music\01\0{1}{0}\0\0Ik luister naar Radio Een\0\0\0)";
        QTest::newRow("empty prefix") << ""
                                      << "Radio Een"
                                      << R"(\0Music\01\0{1}{0}\0\0 Radio Een\0\0\0)";
        QTest::newRow("non-ASCII") << "Listening to" << QString::fromUtf8("Café Ω \U0001F3B5")
                                   << QString::fromUtf8(R"(\0Music\01\0{1}{0}\0\0Listening to Café Ω )"
                                                        "\U0001F3B5"
                                                        R"(\0\0\0)");
        QTest::newRow("nothing played") << "Ik luister naar"
                                        << "*+ naam zender +*"
                                        << R"(\0Music\01\0{1}{0}\0\0Ik luister naar *+ naam zender +*\0\0\0)";
    }
    void payload()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, station);
        QFETCH(QString, expected);
        const CopyDataStruct data = SendNowPlaying(nowPlayingFields(prefix, station), m_service);
        QCOMPARE(data.lpData, utf16le(expected) + QByteArray(2, '\0'));
        QCOMPARE(data.cbData, quint32(2 * (expected.size() + 1)));
        QCOMPARE(data.dwData, 1351u);
        // The line reaches the bus where the messenger windows are missing.
        QCOMPARE(m_service->metadata().value("xesam:comment").toStringList(), QStringList {prefix + ' ' + station});
    }

    void playerctl_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("song");
        QTest::addColumn<QString>("expected");
        const QString url = QStringLiteral("|Radio Een|http://one.example/stream|0.5");
        QTest::newRow("song") << PlayState::Playing << "Artist - Song"
                              << "Playing|Artist - Song|Radio Een" + url;
        QTest::newRow("no song") << PlayState::Playing << ""
                                 << "Playing|Radio Een|" + url;
        QTest::newRow("connecting") << PlayState::Transitioning << ""
                                    << "Stopped|Radio Een|" + url;
        QTest::newRow("stall") << PlayState::Buffering << ""
                               << "Playing|Radio Een|" + url;
        QTest::newRow("stopped") << PlayState::Stopped << ""
                                 << "Stopped|Radio Een|" + url;
    }
    void playerctl()
    {
        QFETCH(int, state);
        QFETCH(QString, song);
        QFETCH(QString, expected);
        m_window.state = state;
        m_window.song = song;
        m_service->stateChanged();
        QProcess client;
        client.start(QStringLiteral("playerctl"),
                     {"-p", "norvale", "metadata", "--format",
                      "{{status}}|{{title}}|{{artist}}|{{album}}|{{xesam:url}}|{{volume}}"});
        // The service answers from this thread's event loop, so wait without blocking it.
        QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 10000);
        QCOMPARE(QString::fromUtf8(client.readAllStandardOutput()).trimmed(), expected);
    }

    void changesAreAnnounced()
    {
        ChangeRecorder recorder;
        QVERIFY(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"))
                    .connect(kService, "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                             "PropertiesChanged", &recorder, SLOT(record(QString, QVariantMap, QStringList))));
        m_window.state = PlayState::Playing;
        m_window.song = QStringLiteral("First");
        m_service->titleChanged();
        QTRY_COMPARE(recorder.changes.size(), 1);
        QCOMPARE(qdbus_cast<QVariantMap>(recorder.changes[0]["Metadata"])["xesam:title"].toString(), "First");

        m_window.state = PlayState::Stopped;
        m_service->stateChanged();
        QTRY_COMPARE(recorder.changes.size(), 2);
        QCOMPARE(recorder.changes[1].keys(), QStringList {"PlaybackStatus"}); // the same metadata is not sent again

        // A client's volume write reaches the window and is announced back.
        const QDBusMessage reply =
            callService("org.freedesktop.DBus.Properties", "Set",
                        {"org.mpris.MediaPlayer2.Player", "Volume", QVariant::fromValue(QDBusVariant(0.25))});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(m_window.volume, 25);
        QTRY_COMPARE(recorder.changes.size(), 3);
        QCOMPARE(recorder.changes[2], (QVariantMap {{"Volume", 0.25}}));
    }

    void actions_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("expected"); // the window's call; empty: none, and an error reply
        QTest::newRow("open http") << 1 << "OpenUri"
                                   << "http://two.example:8000/live"
                                   << "open http://two.example:8000/live";
        QTest::newRow("open https") << 1 << "OpenUri"
                                    << "https://two.example/"
                                    << "open https://two.example/";
        QTest::newRow("open file") << 1 << "OpenUri"
                                   << "file:///etc/passwd"
                                   << "";
        QTest::newRow("open no host") << 1 << "OpenUri"
                                      << "http:///stream"
                                      << "";
        QTest::newRow("play-pause") << 3 << "PlayPause"
                                    << ""
                                    << "playPause";
        QTest::newRow("pause playing") << 3 << "Pause"
                                       << ""
                                       << "stop";
        QTest::newRow("quit") << 3 << "Quit"
                              << ""
                              << "quit";
        QTest::newRow("raise") << 3 << "Raise"
                               << ""
                               << "raise";
    }
    void actions()
    {
        QFETCH(int, state);
        QFETCH(QString, method);
        QFETCH(QString, uri);
        QFETCH(QString, expected);
        m_window.state = state;
        m_window.calls.clear();
        const bool root = method == "Quit" || method == "Raise";
        const QDBusMessage reply = callService(root ? "org.mpris.MediaPlayer2" : "org.mpris.MediaPlayer2.Player",
                                               method, uri.isEmpty() ? QVariantList {} : QVariantList {uri});
        QCOMPARE(reply.type(), expected.isEmpty() ? QDBusMessage::ErrorMessage : QDBusMessage::ReplyMessage);
        QCOMPARE(m_window.calls, expected.isEmpty() ? QStringList {} : QStringList {expected});
    }

    void withoutBusOrName()
    {
        FakeWindow window;
        MprisService offline(window.hooks());
        QVERIFY(
            !offline.registerOn(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none")));
        // A second copy on the same bus takes an instance name instead of failing.
        MprisService second(window.hooks());
        QVERIFY(
            second.registerOn(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"))));
        QCOMPARE(second.serviceName(),
                 QString(kService) + ".instance" + QString::number(QCoreApplication::applicationPid()));
    }

    void notification_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        const QString markup = QStringLiteral("<img src=file:///etc/x> & co");
        QTest::newRow("markup server") << QStringList {"body", "body-markup"} << markup
                                       << "&lt;img src=file:///etc/x&gt; &amp; co";
        QTest::newRow("plain server") << QStringList {"body"} << markup << markup;
        QTest::newRow("control characters") << QStringList {} << "A\nB\tC\x1b[2J"
                                            << "A B C [2J";
    }
    void notification()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, title);
        QFETCH(QString, body);
        const QString serverName = QStringLiteral("server-") + QTest::currentDataTag();
        QDBusConnection server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, serverName);
        FakeNotifications fake;
        fake.capabilities = capabilities;
        QVERIFY(server.registerObject("/org/freedesktop/Notifications", &fake, QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService("org.freedesktop.Notifications"));

        DesktopNotifier notifier;
        notifier.notify("Radio Een", title);
        QTRY_COMPARE(fake.notices.size(), 1);
        notifier.notify("Radio Twee", "Next");
        QTRY_COMPARE(fake.notices.size(), 2);
        QCOMPARE(fake.notices[0], (QStringList {"0", "Radio Een", body}));
        QCOMPARE(fake.notices[1], (QStringList {"41", "Radio Twee", "Next"})); // replaces the first
        QDBusConnection::disconnectFromBus(serverName);
    }
};

QTEST_GUILESS_MAIN(TestNowPlaying)
#include "tst_nowplaying.moc"
