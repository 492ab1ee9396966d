// The real engine against a real local Icecast server.

#include "IcecastServer.h"
#include "LocalHttpServer.h"
#include "MpvPlayer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {

constexpr int kWait = 10000;

struct Step
{
    int state;
    QString status;
};

// Every announced (state, status), read inside the handler as a caller would.
class History : public QObject
{
public:
    explicit History(MediaPlayer *player)
    {
        connect(player, &MediaPlayer::statusChanged, this, [this, player] {
            steps.append({player->playState(), player->status()});
        });
        connect(player, &MediaPlayer::buffering, this, [this](bool start) { buffering.append(start); });
        connect(player, &MediaPlayer::error, this, [this, player] { stateAtError.append(player->playState()); });
    }

    bool sawState(int state) const
    {
        return std::any_of(steps.cbegin(), steps.cend(), [state](const Step &s) { return s.state == state; });
    }
    bool sawStatus(const QString &status) const
    {
        return std::any_of(steps.cbegin(), steps.cend(), [&](const Step &s) { return s.status == status; });
    }

    QList<Step> steps;
    QList<bool> buffering;
    QList<int> stateAtError;
};

// A loopback port nothing listens on.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

std::unique_ptr<MpvPlayer> newPlayer(const QList<int> &delaysMs = {250, 500, 1000, 1000, 1000, 1000, 1000, 1000},
                                     int openAttempts = 100)
{
    auto player = std::make_unique<MpvPlayer>(QStringLiteral("ao=null"));
    MpvPlayer::ReconnectPolicy policy;
    policy.delaysMs = delaysMs;
    policy.openAttempts = openAttempts;
    policy.windowMs = 30000;
    player->setReconnectPolicy(policy);
    return player;
}

// Relays connections to a port and can hold back what the server sends, as a
// congested network does.
class StallingProxy : public QTcpServer
{
public:
    explicit StallingProxy(quint16 target)
        : m_target(target)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = nextPendingConnection())
                relay(client);
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/stream").arg(serverPort()); }

    void setStalled(bool stalled)
    {
        m_stalled = stalled;
        if (!stalled) {
            for (QTcpSocket *upstream : findChildren<QTcpSocket *>(QStringLiteral("upstream")))
                Q_EMIT upstream->readyRead();
        }
    }

private:
    void relay(QTcpSocket *client)
    {
        auto *upstream = new QTcpSocket(this);
        upstream->setObjectName(QStringLiteral("upstream"));
        upstream->connectToHost(QHostAddress::LocalHost, m_target);
        connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] { upstream->write(client->readAll()); });
        connect(upstream, &QTcpSocket::connected, upstream, [client, upstream] { upstream->write(client->readAll()); });
        connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
            if (!m_stalled)
                client->write(upstream->readAll());
        });
        connect(client, &QTcpSocket::disconnected, upstream, &QObject::deleteLater);
        connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

    quint16 m_target;
    bool m_stalled = false;
};

IcecastServer::Options smallBurst()
{
    IcecastServer::Options options;
    options.burstBytes = 8000;
    return options;
}

} // namespace

class TestMpvPlayer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void plays_data();
    void plays();
    void stopPlayClose();
    void titles_data();
    void titles();
    void volumeAndMute_data();
    void volumeAndMute();
    void playlists_data();
    void playlists();
    void switchingStationsNeverStops();
    void reconnectsAfterSourceDrop();
    void buffersWhenTheNetworkStalls();
    void goneStreamRaisesErrorAfterRetries_data();
    void goneStreamRaisesErrorAfterRetries();
    void stopDuringReconnectStaysStopped();
    void handlersWithNestedEventLoops();
    void destroyedWhileBusy();

private:
    // A small burst keeps playback near the live edge, so titles show up soon.
    IcecastServer m_server {smallBurst()};
};

void TestMpvPlayer::initTestCase()
{
    NORVALE_START_ICECAST(m_server);
}

void TestMpvPlayer::plays_data()
{
    QTest::addColumn<bool>("atRoot");
    QTest::newRow("mount") << false;
    QTest::newRow("server root, as plain stations serve it") << true;
}

void TestMpvPlayer::plays()
{
    QFETCH(bool, atRoot);
    const QString url = atRoot ? m_server.rootUrl() : m_server.streamUrl();
    auto player = newPlayer();
    QVERIFY(player->isValid());
    QCOMPARE(player->playState(), PlayState::Ready);
    History history(player.get());

    player->setUrl(url);
    QCOMPARE(player->url(), url);
    QCOMPARE(player->playState(), PlayState::Transitioning);
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    QVERIFY(player->status().startsWith(QStringLiteral("Playing")));
    QCOMPARE(history.steps.first().state, PlayState::Transitioning);
    QCOMPARE(history.buffering, (QList<bool> {true, false}));
    QVERIFY(history.stateAtError.isEmpty());
    // Audio really flows through the engine.
    QTRY_VERIFY_WITH_TIMEOUT(player->engineProperty(QStringLiteral("audio-pts")).toDouble() > 0.5, kWait);
}

void TestMpvPlayer::stopPlayClose()
{
    auto player = newPlayer();
    History history(player.get());
    player->setUrl(m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);

    player->stop();
    QCOMPARE(player->playState(), PlayState::Stopped);
    QCOMPARE(player->status(), QStringLiteral("Stopped"));
    QCOMPARE(player->url(), m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->engineProperty(QStringLiteral("idle-active")).toBool(), true, kWait);
    // The engine's own end of the stopped stream must not count as a dropped stream.
    QTest::qWait(300);
    QCOMPARE(player->playState(), PlayState::Stopped);

    player->play();
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    QCOMPARE(player->engineProperty(QStringLiteral("path")).toString(), m_server.streamUrl());

    player->close();
    QCOMPARE(player->url(), QString());
    QCOMPARE(player->playState(), PlayState::Ready);
    QTRY_COMPARE_WITH_TIMEOUT(player->engineProperty(QStringLiteral("idle-active")).toBool(), true, kWait);
    player->play(); // nothing to resume
    QTest::qWait(300);
    QCOMPARE(player->playState(), PlayState::Ready);
    QVERIFY(history.stateAtError.isEmpty());
    QCOMPARE(history.buffering.count(true), history.buffering.count(false));
}

void TestMpvPlayer::titles_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "Artist - Song"
                           << "Artist - Song";
    // The server sends this one in Latin-1.
    QTest::newRow("accents") << "Céline Dion - Ça ira"
                             << "Céline Dion - Ça ira";
    QTest::newRow("placeholder") << " - "
                                 << "";
}

void TestMpvPlayer::titles()
{
    QFETCH(QString, sent);
    QFETCH(QString, expected);
    auto player = newPlayer();
    player->setUrl(m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);

    // Start from a known title, so that an empty result means the new one arrived.
    const QString marker = QStringLiteral("Marker %1").arg(QTest::currentDataTag());
    QCOMPARE(m_server.setTitle(marker), QString());
    QTRY_COMPARE_WITH_TIMEOUT(player->mediaTitle(), marker, kWait);
    QCOMPARE(player->status(), QStringLiteral("Playing: ") + marker);

    History history(player.get());
    QCOMPARE(m_server.setTitle(sent), QString());
    QTRY_COMPARE_WITH_TIMEOUT(player->mediaTitle(), expected, kWait);
    const QString status = expected.isEmpty() ? QStringLiteral("Playing") : QStringLiteral("Playing: ") + expected;
    QCOMPARE(player->status(), status);
    QVERIFY(history.sawStatus(status)); // announced, not only readable
    QCOMPARE(player->playState(), PlayState::Playing);
}

void TestMpvPlayer::volumeAndMute_data()
{
    QTest::addColumn<int>("volume");
    QTest::addColumn<bool>("mute");
    QTest::addColumn<int>("expected");
    QTest::newRow("silent") << 0 << false << 0;
    QTest::newRow("muted keeps its level") << 35 << true << 35;
    QTest::newRow("full") << 100 << false << 100;
    QTest::newRow("above the range") << 150 << false << 100;
    QTest::newRow("below the range, muted") << -5 << true << 0;
}

void TestMpvPlayer::volumeAndMute()
{
    QFETCH(int, volume);
    QFETCH(bool, mute);
    QFETCH(int, expected);
    auto player = newPlayer();
    player->setUrl(m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);

    player->setVolume(volume);
    player->setMute(mute);
    QCOMPARE(player->volume(), expected);
    QCOMPARE(player->mute(), mute);
    QCOMPARE(player->engineProperty(QStringLiteral("volume")).toDouble(), double(expected));
    QCOMPARE(player->engineProperty(QStringLiteral("mute")).toBool(), mute);

    player->setMute(!mute);
    player->setMute(false);
    QCOMPARE(player->volume(), expected);
    QCOMPARE(player->engineProperty(QStringLiteral("volume")).toDouble(), double(expected));
    QCOMPARE(player->engineProperty(QStringLiteral("mute")).toBool(), false);
    QCOMPARE(player->playState(), PlayState::Playing);
}

void TestMpvPlayer::playlists_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body"); // %1: the stream, %2: a dead address

    QTest::newRow("pls") << QByteArray("/listen.pls") << QByteArray("audio/x-scpls")
                         << QByteArray("[playlist]\nNumberOfEntries=1\nFile1=%1\nTitle1=Test\nLength1=-1\nVersion=2\n");
    QTest::newRow("m3u") << QByteArray("/listen.m3u") << QByteArray("audio/x-mpegurl") << QByteArray("%1\n");
    QTest::newRow("extended m3u") << QByteArray("/live.m3u") << QByteArray("audio/mpegurl")
                                  << QByteArray("#EXTM3U\r\n#EXTINF:-1,Test\r\n%1\r\n");
    QTest::newRow("pls whose first address is dead")
        << QByteArray("/mirrors.pls") << QByteArray("audio/x-scpls")
        << QByteArray("[playlist]\nNumberOfEntries=2\nFile1=%2\nFile2=%1\nVersion=2\n");
}

void TestMpvPlayer::playlists()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    body.replace("%1", m_server.streamUrl().toUtf8());
    body.replace("%2", QStringLiteral("http://127.0.0.1:%1/stream").arg(closedPort()).toUtf8());
    LocalHttpServer web([&](const QByteArray &target) {
        if (target == path)
            return LocalHttpReply {200, body, contentType};
        return LocalHttpReply {404, "not here"};
    });
    const QString url = web.baseUrl() + QString::fromUtf8(path.mid(1));

    auto player = newPlayer({250}); // one retry would reload the list; it must not be needed
    History history(player.get());
    player->setUrl(url);
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    QCOMPARE(player->url(), url);
    QCOMPARE(player->engineProperty(QStringLiteral("path")).toString(), m_server.streamUrl());
    QCOMPARE(web.targets(), QList<QByteArray> {path});
    QVERIFY(!history.sawStatus(QStringLiteral("Reconnecting…")));
    QVERIFY(history.stateAtError.isEmpty());
}

void TestMpvPlayer::switchingStationsNeverStops()
{
    auto player = newPlayer();
    player->setUrl(m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);

    History history(player.get());
    player->setUrl(m_server.rootUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    // Two clicks in quick succession: the second one wins.
    player->setUrl(m_server.streamUrl());
    player->setUrl(m_server.rootUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    QTest::qWait(500); // late end events of the replaced streams

    QCOMPARE(player->playState(), PlayState::Playing);
    QCOMPARE(player->url(), m_server.rootUrl());
    QCOMPARE(player->engineProperty(QStringLiteral("path")).toString(), m_server.rootUrl());
    QVERIFY(!history.sawState(PlayState::Stopped));
    QVERIFY(!history.sawStatus(QStringLiteral("Reconnecting…")));
    QVERIFY(history.stateAtError.isEmpty());
}

void TestMpvPlayer::reconnectsAfterSourceDrop()
{
    // A stream that has played gets every attempt, not only those of a first opening.
    auto player = newPlayer({250, 500, 1000, 1000, 1000, 1000, 1000, 1000}, 1);
    player->setUrl(m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    History history(player.get());

    QCOMPARE(m_server.stopSource(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(player->status(), QStringLiteral("Reconnecting…"), kWait);
    QCOMPARE(player->playState(), PlayState::Transitioning);
    QCOMPARE(player->url(), m_server.streamUrl());
    QTest::qWait(1200); // a few attempts meet the 404 of the missing mount

    QCOMPARE(m_server.startSource(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    QVERIFY(history.stateAtError.isEmpty());
    QVERIFY(!history.sawState(PlayState::Stopped));
    QCOMPARE(history.buffering, (QList<bool> {true, false}));
    QTRY_VERIFY_WITH_TIMEOUT(player->engineProperty(QStringLiteral("audio-pts")).toDouble() > 0.2, kWait);
}

void TestMpvPlayer::buffersWhenTheNetworkStalls()
{
    StallingProxy proxy(quint16(m_server.port()));
    auto player = newPlayer();
    player->setUrl(proxy.url());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    History history(player.get());

    proxy.setStalled(true);
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Buffering, kWait);
    QVERIFY(player->status().startsWith(QStringLiteral("Buffering")));
    QCOMPARE(history.buffering, QList<bool> {true});

    proxy.setStalled(false);
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    QCOMPARE(history.buffering, (QList<bool> {true, false}));
    QVERIFY(!history.sawStatus(QStringLiteral("Reconnecting…"))); // the same connection carried on
    QVERIFY(history.stateAtError.isEmpty());
}

void TestMpvPlayer::goneStreamRaisesErrorAfterRetries_data()
{
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QList<int>>("delaysMs");
    QTest::addColumn<int>("openAttempts");
    QTest::addColumn<int>("requests"); // -1: not counted
    QTest::newRow("closed port") << true << QList<int> {100, 200} << 3 << -1;
    QTest::newRow("server answers 404") << false << QList<int> {100, 200} << 3 << 3;
    QTest::newRow("never played: fewer attempts") << false << QList<int> {100, 100, 100, 100, 100} << 2 << 3;
}

void TestMpvPlayer::goneStreamRaisesErrorAfterRetries()
{
    QFETCH(bool, refused);
    QFETCH(QList<int>, delaysMs);
    QFETCH(int, openAttempts);
    QFETCH(int, requests);
    LocalHttpServer web([](const QByteArray &) { return LocalHttpReply {404, "gone"}; });
    const QString url = refused ? QStringLiteral("http://127.0.0.1:%1/stream").arg(closedPort())
                                : web.baseUrl() + QStringLiteral("stream");
    auto player = newPlayer(delaysMs, openAttempts);
    History history(player.get());
    player->setUrl(url);
    QTRY_COMPARE_WITH_TIMEOUT(history.stateAtError.size(), 1, kWait);

    QCOMPARE(history.stateAtError, QList<int> {PlayState::Stopped}); // the state was announced first
    QCOMPARE(player->playState(), PlayState::Stopped);
    QCOMPARE(player->status(), QStringLiteral("Stream not available"));
    QCOMPARE(player->url(), url);
    QVERIFY(history.sawStatus(QStringLiteral("Reconnecting…")));
    QCOMPARE(history.buffering, (QList<bool> {true, false}));
    const qsizetype attempts = web.targets().size();
    if (requests >= 0)
        QCOMPARE(attempts, qsizetype(requests)); // the first try and one per pause
    QTest::qWait(500);
    QCOMPARE(web.targets().size(), attempts); // and then no more
    QCOMPARE(history.stateAtError.size(), 1);
}

void TestMpvPlayer::stopDuringReconnectStaysStopped()
{
    LocalHttpServer web([](const QByteArray &) { return LocalHttpReply {404, "gone"}; });
    auto player = newPlayer({300, 300, 300, 300, 300, 300});
    History history(player.get());
    player->setUrl(web.baseUrl() + QStringLiteral("stream"));
    QTRY_VERIFY_WITH_TIMEOUT(web.targets().size() >= 2, kWait);

    player->stop();
    QCOMPARE(player->playState(), PlayState::Stopped);
    const qsizetype attempts = web.targets().size();
    QTest::qWait(1000);
    QCOMPARE(web.targets().size(), attempts);
    QCOMPARE(player->playState(), PlayState::Stopped);
    QVERIFY(history.stateAtError.isEmpty());
    QCOMPARE(history.buffering.count(true), history.buffering.count(false));
}

void TestMpvPlayer::handlersWithNestedEventLoops()
{
    // The window's status handler waits for a network reply inside the handler, and
    // answers a playing stream by stopping it when the user asked for silence at start.
    auto player = newPlayer();
    History history(player.get());
    int depth = 0;
    int deepest = 0;
    connect(player.get(), &MediaPlayer::statusChanged, this, [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (player->playState() == PlayState::Playing && player->mediaTitle() == QStringLiteral("Stop me"))
            player->stop();
        QEventLoop wait;
        QTimer::singleShot(150, &wait, &QEventLoop::quit);
        wait.exec();
        --depth;
    });

    player->setUrl(m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
    QCOMPARE(m_server.setTitle(QStringLiteral("Stop me")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Stopped, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(depth, 0, kWait);
    QTest::qWait(300);

    QCOMPARE(player->playState(), PlayState::Stopped);
    QCOMPARE(history.steps.last().state, PlayState::Stopped);
    QTRY_COMPARE_WITH_TIMEOUT(player->engineProperty(QStringLiteral("idle-active")).toBool(), true, kWait);
    QVERIFY(history.stateAtError.isEmpty());
    QVERIFY(deepest > 1); // the handlers really did nest
}

void TestMpvPlayer::destroyedWhileBusy()
{
    // Engine threads keep waking the player up while it goes away.
    for (int delayMs : {0, 5, 20, 60, 200}) {
        auto player = newPlayer();
        player->setUrl(m_server.streamUrl());
        QTest::qWait(delayMs);
        player->setMute(true);
        player.reset();
    }
    QTest::qWait(200); // anything still queued would run now
    auto player = newPlayer();
    player->setUrl(m_server.streamUrl());
    QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
}

QTEST_MAIN(TestMpvPlayer)
#include "tst_mpvplayer.moc"
