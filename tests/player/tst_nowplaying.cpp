#include "app/MediaPlayer.h"
#include "player/CurrentStation.h"
#include "player/DesktopNotifier.h"
#include "player/MprisService.h"
#include "player/NowPlaying.h"

#include <QDBusArgument>
#include <QProcess>
#include <QtTest>

namespace {

// A client's output, or "failed"; the wait keeps this thread's loop, the service's, running.
QString client(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000) || process.exitCode() != 0)
        return QStringLiteral("failed");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

// The main window as the service sees it.
struct FakeWindow
{
    PlayState state = PlayState::Playing;
    int volume = 50, favourites = 2;
    QString song, url = QStringLiteral("http://one.example/stream");
    CurrentStation station {{QStringLiteral("Radio Een"), url, {}}, {}, {}};
    QStringList calls;

    MprisHooks hooks()
    {
        return {
            .playState = [this] { return state; },
            .songTitle = [this] { return song; },
            .streamUrl = [this] { return url; },
            .volume = [this] { return volume; },
            .play = [this] { calls << "play"; },
            .stop = [this] { calls << "stop"; },
            .playPause = [this] { calls << "playPause"; },
            .openUri = [this](const QString &uri) { calls << "open " + uri; },
            .setVolume = [this](int v) { volume = v; },
            .raise = [this] { calls << "raise"; },
            .quit = [this] { calls << "quit"; },
            .stepFavourite = [this](int step) { calls << "step " + QString::number(step); },
            .canStep = [this] { return favourites >= 2; },
            .artFile = {},
        };
    }
};

// The other ends: a client watching for PropertiesChanged, and a desktop's notification server.
class FakeDesktop : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QVariantMap> changes;
    QStringList capabilities;
    QList<QStringList> notices; // replaced id, summary, body
public Q_SLOTS:
    void record(const QString &, const QVariantMap &changed, const QStringList &) { changes << changed; }
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
        m_service = new MprisService(m_window.hooks(), &m_window.station, this);
        QVERIFY(m_service->registerOn());
        MprisService offline(m_window.hooks(), &m_window.station);
        QVERIFY(!offline.registerOn(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none")));
    }

    void payload_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("expected"); // without the final U+0000
        const auto row = [](const char *tag, const QString &prefix, const QString &station, const QString &line) {
            QTest::newRow(tag) << prefix << station << R"(\0Music\01\0{1}{0}\0\0)" + line + R"(\0\0\0)";
        };
        row("station", "Ik luister naar", "Radio Een", "Ik luister naar Radio Een");
        row("empty prefix", "", "Radio Een", " Radio Een");
        row("non-ASCII", "Hoor", QString::fromUtf8("Café Ω \U0001F3B5"), QString::fromUtf8("Hoor Café Ω \U0001F3B5"));
    }
    void payload()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, station);
        QFETCH(QString, expected);
        const CopyDataStruct data = SendNowPlaying(nowPlayingFields(prefix, station), m_service);
        QCOMPARE(data.lpData, QStringEncoder(QStringConverter::Utf16LE).encode(expected) + QByteArray(2, '\0'));
        QCOMPARE(data.cbData, quint32(2 * (expected.size() + 1)));
        QCOMPARE(data.dwData, 1351u);
        // With no messenger window on this desktop, the line goes to the bus.
        QCOMPARE(m_service->metadata().value("xesam:comment").toStringList(), QStringList {prefix + ' ' + station});
    }

    void playerctl_data()
    {
        QTest::addColumn<PlayState>("state");
        QTest::addColumn<QString>("song");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, PlayState state, const QString &song, const QString &shown) {
            QTest::newRow(tag) << state << song << shown + "|Radio Een|http://one.example/stream|0.5";
        };
        row("artist and title", PlayState::Playing, "Artist - Song", "Playing|Song|Artist");
        row("only the first dash splits", PlayState::Playing, "Café - Ça - va", "Playing|Ça - va|Café");
        row("title without artist", PlayState::Playing, "Nieuws", "Playing|Nieuws|");
        row("dash with nothing after", PlayState::Playing, "Artist - ", "Playing|Artist -|");
        row("no song", PlayState::Playing, "", "Playing|Radio Een|");
        row("connecting", PlayState::Transitioning, "", "Playing|Radio Een|");
    }
    void playerctl()
    {
        QFETCH(PlayState, state);
        QFETCH(QString, song);
        QFETCH(QString, expected);
        m_window.state = state;
        m_window.song = song;
        m_service->stateChanged();
        QCOMPARE(client("playerctl",
                        {"-p", "norvale", "metadata", "--format",
                         "{{status}}|{{title}}|{{artist}}|{{album}}|{{xesam:url}}|{{volume}}"}),
                 expected);
    }

    void changesAreAnnounced()
    {
        FakeDesktop watcher;
        QVERIFY(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher")
                    .connect(m_service->serviceName(), "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                             "PropertiesChanged", &watcher, SLOT(record(QString, QVariantMap, QStringList))));
        m_window.state = PlayState::Playing;
        m_window.song = QStringLiteral("First");
        m_service->titleChanged();
        QTRY_COMPARE(watcher.changes.size(), 1);
        QCOMPARE(qdbus_cast<QVariantMap>(watcher.changes[0]["Metadata"])["xesam:title"].toString(), "First");
        m_window.state = PlayState::Stopped;
        m_service->stateChanged();
        QTRY_COMPARE(watcher.changes.size(), 2);
        QCOMPARE(watcher.changes[1].keys(), QStringList {"PlaybackStatus"}); // the same metadata is not sent again
        // A client's volume write reaches the window and is announced back.
        QCOMPARE(client("playerctl", {"-p", "norvale", "volume", "0.25"}), "");
        QCOMPARE(m_window.volume, 25);
        QTRY_COMPARE(watcher.changes.size(), 3);
        QCOMPARE(watcher.changes[2], (QVariantMap {{"Volume", 0.25}}));
        // A station left without an address, the state as it was (another country chosen).
        const auto restore = qScopeGuard([this] { m_window.url = QStringLiteral("http://one.example/stream"); });
        m_window.url.clear();
        m_window.station.setStation({});
        QTRY_COMPARE(watcher.changes.size(), 4);
        QCOMPARE(
            qdbus_cast<QVariantMap>(watcher.changes[3]["Metadata"])["mpris:trackid"].value<QDBusObjectPath>().path(),
            QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    }

    void actions_data()
    {
        QTest::addColumn<QString>("call"); // method and argument in dbus-send's words
        QTest::addColumn<QString>("expected"); // the window's call; empty: none, and an error reply
        QTest::addColumn<int>("favourites");
        const auto row = [](const char *tag, const QString &call, const QString &expected, int favourites = 2) {
            QTest::newRow(tag) << call << expected << favourites;
        };
        row("open http", "Player.OpenUri string:http://two.example:8000/live", "open http://two.example:8000/live");
        row("open file", "Player.OpenUri string:file://localhost/etc/passwd", "");
        row("open no host", "Player.OpenUri string:http:///stream", "");
        row("play-pause", "Player.PlayPause", "playPause");
        row("pause playing", "Player.Pause", "stop");
        row("quit", "Quit", "quit");
        row("next favourite", "Player.Next", "step 1");
        row("previous favourite", "Player.Previous", "step -1");
        row("next with one favourite", "Player.Next", "-", 1);
    }
    void actions()
    {
        QFETCH(QString, call);
        QFETCH(QString, expected);
        QFETCH(int, favourites);
        m_window.state = PlayState::Playing;
        m_window.favourites = favourites;
        m_window.calls.clear();
        const auto send = [](const QString &call) {
            return client("dbus-send",
                          QStringList {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.norvale",
                                       "/org/mpris/MediaPlayer2"}
                              + call.split(' '));
        };
        const QString reply = send("org.mpris.MediaPlayer2." + call);
        QCOMPARE(reply == "failed", expected.isEmpty());
        // "-": the call is answered but the window is asked nothing.
        QCOMPARE(m_window.calls, expected.isEmpty() || expected == "-" ? QStringList {} : QStringList {expected});
        const QString canStep =
            send("org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:CanGoNext");
        QVERIFY2(canStep.endsWith(favourites >= 2 ? "true" : "false"), qPrintable(canStep));
    }

    void notification_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("body"); // of the title <img src=file:///etc/x> & co, a line break, a tab, B, ESC [2J
        QTest::newRow("markup server") << QStringList {"body-markup"} << "&lt;img src=file:///etc/x&gt; &amp; co B [2J";
        QTest::newRow("plain server") << QStringList {"body"} << "<img src=file:///etc/x> & co B [2J";
    }
    void notification()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, body);
        const QString name = QStringLiteral("server-") + QTest::currentDataTag();
        QDBusConnection server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        const auto release = qScopeGuard([&] { QDBusConnection::disconnectFromBus(name); });
        FakeDesktop desktop;
        desktop.capabilities = capabilities;
        QVERIFY(server.registerObject("/org/freedesktop/Notifications", &desktop, QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService("org.freedesktop.Notifications"));
        DesktopNotifier notifier;
        notifier.notify("Radio Een", QStringLiteral("<img src=file:///etc/x> & co\n\tB\x1b[2J"));
        QTRY_COMPARE(desktop.notices.size(), 1);
        notifier.notify("Radio Twee", "Next");
        QTRY_COMPARE(desktop.notices.size(), 2);
        QCOMPARE(desktop.notices[0], (QStringList {"0", "Radio Een", body}));
        QCOMPARE(desktop.notices[1], (QStringList {"41", "Radio Twee", "Next"})); // replaces the first
    }
};

QTEST_GUILESS_MAIN(TestNowPlaying)
#include "tst_nowplaying.moc"
