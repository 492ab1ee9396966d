// The real engine against a real local Icecast server.

#include "engine/MpvPlayer.h"
#include "support/EngineProcess.h"
#include "support/IcecastServer.h"
#include "support/LocalHttpServer.h"

#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {

constexpr int kWait = 10000;
const QString kReconnecting = QStringLiteral("Reconnecting…");

// Every announced state and status, read inside the handler as a caller would.
struct History : QObject
{
    explicit History(MediaPlayer *player)
    {
        connect(player, &MediaPlayer::statusChanged, this, [this, player] {
            states.append(player->playState());
            statuses.append(player->status());
        });
        connect(player, &MediaPlayer::buffering, this, [this](bool start) { buffering.append(start); });
        connect(player, &MediaPlayer::error, this, [this, player] { stateAtError.append(player->playState()); });
    }

    QList<PlayState> states, stateAtError;
    QStringList statuses;
    QList<bool> buffering;
};

std::unique_ptr<MpvPlayer> newPlayer(const QList<int> &delaysMs = {250, 500, 1000, 1000, 1000, 1000, 1000, 1000},
                                     int openAttempts = 100)
{
    auto player = std::make_unique<MpvPlayer>(QStringLiteral("ao=null"));
    player->setReconnectPolicy({delaysMs, 30000, 10000, openAttempts});
    return player;
}

// Relays connections to a port and holds back the server's bytes while stalled.
class StallingProxy : public QTcpServer
{
public:
    explicit StallingProxy(quint16 target)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this, target] {
            while (QTcpSocket *client = nextPendingConnection()) {
                auto *upstream = new QTcpSocket(client);
                upstream->connectToHost(QHostAddress::LocalHost, target);
                connect(client, &QTcpSocket::readyRead, upstream, [=] { upstream->write(client->readAll()); });
                connect(upstream, &QTcpSocket::connected, upstream, [=] { upstream->write(client->readAll()); });
                connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
                    if (!stalled)
                        client->write(upstream->readAll());
                });
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/stream").arg(serverPort()); }
    void resume()
    {
        stalled = false;
        for (QTcpSocket *socket : findChildren<QTcpSocket *>()) // clients and, below them, upstreams
            Q_EMIT socket->readyRead();
    }

    bool stalled = false;
};

} // namespace

class TestMpvPlayer : public QObject
{
    Q_OBJECT

    // A small burst keeps playback near the live edge, so titles show up soon.
    IcecastServer m_server {8000};

private Q_SLOTS:
    void initTestCase()
    {
        prepareEngineProcess();
        NORVALE_REQUIRE_ENVIRONMENT(IcecastServer::missingTools());
        QCOMPARE(m_server.start(), QString());
    }

    // The server's root serves the same stream, as plain stations do; the journeys play it too.
    void listeningSession()
    {
        const QString url = m_server.streamUrl(), other = m_server.rootUrl();
        // First players go away while the engine's threads keep waking them up.
        for (int delayMs : {0, 5, 20, 60, 200}) {
            auto player = newPlayer();
            player->setUrl(url);
            QTest::qWait(delayMs);
            player->setMute(true);
            player.reset();
        }
        auto player = newPlayer();
        QVERIFY(player->isValid());
        QCOMPARE(player->playState(), PlayState::Ready);
        History history(player.get());

        player->setUrl(url);
        QCOMPARE(player->url(), url);
        QCOMPARE(player->playState(), PlayState::Transitioning);
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        QVERIFY(player->status().startsWith(QStringLiteral("Playing")));
        QCOMPARE(history.states.first(), PlayState::Transitioning);
        QCOMPARE(history.buffering, (QList<bool> {true, false}));
        // Audio really flows through the engine.
        QTRY_VERIFY_WITH_TIMEOUT(player->engineProperty("audio-pts").toDouble() > 0.5, kWait);

        player->stop();
        QCOMPARE(player->playState(), PlayState::Stopped);
        QCOMPARE(player->status(), QStringLiteral("Stopped"));
        QCOMPARE(player->url(), url);
        QTRY_COMPARE_WITH_TIMEOUT(player->engineProperty("idle-active").toBool(), true, kWait);
        player->play();
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        QCOMPARE(player->engineProperty("path").toString(), url);

        // Switching stations never passes through Stopped; of two quick clicks the second wins.
        History switching(player.get());
        player->setUrl(other);
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        player->setUrl(url);
        player->setUrl(other);
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        QCOMPARE(player->url(), other);
        QCOMPARE(player->engineProperty("path").toString(), other);
        // Audio of the last choice flows: the end events of the replaced streams are behind us.
        QTRY_VERIFY_WITH_TIMEOUT(player->engineProperty("audio-pts").toDouble() > 0.5, kWait);
        QVERIFY(!switching.states.contains(PlayState::Stopped));

        player->close();
        QCOMPARE(player->url(), QString());
        QCOMPARE(player->playState(), PlayState::Ready);
        QTRY_COMPARE_WITH_TIMEOUT(player->engineProperty("idle-active").toBool(), true, kWait);
        player->play(); // nothing to resume
        QCOMPARE(player->playState(), PlayState::Ready);
        QVERIFY(history.stateAtError.isEmpty());
        // Neither the engine's end of a stopped stream nor that of a replaced one counts as a drop.
        QVERIFY(!history.statuses.contains(kReconnecting));
        QCOMPARE(history.buffering.count(true), history.buffering.count(false));
    }

    void playlists_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body"); // %1: the stream, %2: a dead address, %3: a local file
        QTest::addColumn<bool>("plays");

        QTest::newRow("pls") << QByteArray("/listen.pls") << QByteArray("audio/x-scpls")
                             << QByteArray(
                                    "[playlist]\nNumberOfEntries=1\nFile1=%1\nTitle1=Test\nLength1=-1\nVersion=2\n")
                             << true;
        QTest::newRow("extended m3u") << QByteArray("/live.m3u") << QByteArray("audio/mpegurl")
                                      << QByteArray("#EXTM3U\r\n#EXTINF:-1,Test\r\n%1\r\n") << true;
        QTest::newRow("pls whose first address is dead")
            << QByteArray("/mirrors.pls") << QByteArray("audio/x-scpls")
            << QByteArray("[playlist]\nNumberOfEntries=2\nFile1=%2\nFile2=%1\nVersion=2\n") << true;
        // A list from the network may name only network streams, whatever it holds.
        QTest::newRow("local file: refused by the engine")
            << QByteArray("/list.m3u") << QByteArray("audio/x-mpegurl") << QByteArray("%3\n") << false;
    }

    void playlists()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(bool, plays);
        body.replace("%1", m_server.streamUrl().toUtf8())
            .replace("%2", "http://127.0.0.1:1/stream")
            .replace("%3", QUrl::fromLocalFile(NORVALE_SOURCE_DIR "/data/alarm.mp3").toEncoded());
        LocalHttpServer web([&](const QByteArray &target) {
            return target == path ? LocalHttpReply {200, body, contentType} : LocalHttpReply {404, "not here"};
        });
        const QString url = web.baseUrl() + QString::fromUtf8(path.mid(1));

        auto player = newPlayer({250}); // one retry would reload the list; it must not be needed
        History history(player.get());
        player->setUrl(url);
        if (!plays) {
            QTRY_COMPARE_WITH_TIMEOUT(history.stateAtError.size(), 1, kWait);
            QVERIFY(!history.states.contains(PlayState::Playing));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        QCOMPARE(player->url(), url);
        QCOMPARE(player->engineProperty("path").toString(), m_server.streamUrl());
        QCOMPARE(web.targets(), QList<QByteArray> {path});
        QVERIFY(!history.statuses.contains(kReconnecting));
        QVERIFY(history.stateAtError.isEmpty());
    }

    // The schedule's timing is its own test; here the player follows it back to a stream.
    void interruptions_data()
    {
        QTest::addColumn<bool>("stall");
        QTest::newRow("source drops and returns: it reconnects") << false;
        QTest::newRow("network stalls: it buffers and the same connection carries on") << true;
    }

    void interruptions()
    {
        QFETCH(bool, stall);
        StallingProxy proxy(quint16(m_server.port()));
        auto player = newPlayer({250, 500, 1000, 1000, 1000, 1000, 1000, 1000}, 1);
        player->setUrl(stall ? proxy.url() : m_server.streamUrl());
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        History history(player.get());

        if (stall) {
            proxy.stalled = true;
            QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Buffering, kWait);
            QVERIFY(player->status().startsWith(QStringLiteral("Buffering")));
            QCOMPARE(history.buffering, QList<bool> {true});
            proxy.resume();
        } else {
            QCOMPARE(m_server.stopSource(), QString());
            QTRY_COMPARE_WITH_TIMEOUT(player->status(), kReconnecting, kWait);
            QCOMPARE(player->playState(), PlayState::Transitioning);
            QCOMPARE(player->url(), m_server.streamUrl());
            QCOMPARE(m_server.startSource(), QString());
        }
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        QCOMPARE(history.buffering, (QList<bool> {true, false}));
        QCOMPARE(history.statuses.contains(kReconnecting), !stall);
        QVERIFY(history.stateAtError.isEmpty());
        QVERIFY(!history.states.contains(PlayState::Stopped));
        QTRY_VERIFY_WITH_TIMEOUT(player->engineProperty("audio-pts").toDouble() > 0.2, kWait);
    }

    // The player follows the schedule to the end, and a second time until the user stops it.
    void goneStream()
    {
        LocalHttpServer web([](const QByteArray &) { return LocalHttpReply {404, "gone"}; });
        const QString url = web.baseUrl() + "stream";
        auto player = newPlayer({100, 300}, 9);
        History history(player.get());
        player->setUrl(url);
        QTRY_COMPARE_WITH_TIMEOUT(history.stateAtError.size(), 1, kWait);
        QCOMPARE(player->status(), QStringLiteral("Stream not available"));
        QCOMPARE(web.targets().size(), 3); // the first try and one per pause
        QVERIFY(history.statuses.contains(kReconnecting));

        // A fresh set of attempts, stopped while the first pause runs.
        connect(player.get(), &MediaPlayer::statusChanged, this, [&] {
            if (player->status() == kReconnecting)
                player->stop();
        });
        player->play();
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Stopped, kWait);
        QCOMPARE(player->url(), url);
        // No attempt follows: the engine has let go of the stream and none is due.
        QTRY_VERIFY_WITH_TIMEOUT(player->engineProperty("idle-active").toBool(), kWait);
        QVERIFY(!player->isReconnectPending());
        QCOMPARE(web.targets().size(), 4);
        // error() came once, after the state was announced, and not for the stream the user stopped.
        QCOMPARE(history.stateAtError, QList<PlayState> {PlayState::Stopped});
        QCOMPARE(history.buffering, (QList<bool> {true, false, true, false}));
    }

    // The window's handler waits for a reply inside the handler and stops a stream by its
    // title, as "silence at start" does; the title comes in Latin-1, as many servers send it.
    void handlersWithNestedEventLoops()
    {
        const QString title = QStringLiteral("Céline Dion - Ça ira");
        auto player = newPlayer();
        History history(player.get());
        int depth = 0;
        int deepest = 0;
        connect(player.get(), &MediaPlayer::statusChanged, this, [&] {
            deepest = std::max(deepest, ++depth);
            if (player->playState() == PlayState::Playing && player->mediaTitle() == title)
                player->stop();
            QEventLoop wait;
            QTimer::singleShot(150, &wait, &QEventLoop::quit);
            wait.exec();
            --depth;
        });

        player->setUrl(m_server.streamUrl());
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Playing, kWait);
        QCOMPARE(m_server.setTitle(title), QString());
        QTRY_COMPARE_WITH_TIMEOUT(player->playState(), PlayState::Stopped, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(depth, 0, kWait);

        QVERIFY(history.statuses.contains(QStringLiteral("Playing: ") + title));
        QCOMPARE(history.states.last(), PlayState::Stopped);
        QTRY_COMPARE_WITH_TIMEOUT(player->engineProperty("idle-active").toBool(), true, kWait);
        QVERIFY(history.stateAtError.isEmpty());
        QVERIFY(deepest > 1); // the handlers really did nest
    }
};

QTEST_MAIN(TestMpvPlayer)
#include "tst_mpvplayer.moc"
