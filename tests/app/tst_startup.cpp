#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "app/TerminationSignals.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QLockFile>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <cstring>
#include <latch>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunValue()
    {
        QVERIFY(opensMainWindow(QStringLiteral(" 1.0 ")));
        for (const char *other : {"1.5", "", "ja"})
            QVERIFY2(!opensMainWindow(QLatin1String(other)), other);
    }

    // A double click that starts the program twice: every copy asks before any listens.
    void copiesStartedTogetherLeaveOnePrimary()
    {
        for (int round = 0; round < 5; ++round) {
            const QString name =
                QStringLiteral("norvale-together-%1-%2").arg(QCoreApplication::applicationPid()).arg(round);
            constexpr int kCopies = 4;
            std::latch ready(kCopies), claimed(kCopies), ended(1);
            std::atomic_int primaries = 0;
            QList<QThread *> copies;
            for (int i = 0; i < kCopies; ++i) {
                copies.append(QThread::create([&] {
                    SingleInstance copy(name);
                    ready.arrive_and_wait();
                    primaries += copy.claim() == SingleInstance::Role::Primary;
                    claimed.count_down();
                    ended.wait(); // a primary keeps listening until every copy has claimed
                }));
                copies.last()->start();
            }
            claimed.wait();
            ended.count_down();
            for (QThread *copy : copies)
                copy->wait();
            qDeleteAll(copies);
            QCOMPARE(primaries.load(), 1);
        }
    }

    // What a crashed copy leaves behind: a bound socket file that nobody listens on.
    void staleSocketDoesNotBlock()
    {
        const QString name = QStringLiteral("norvale-stale-%1").arg(QCoreApplication::applicationPid());
        const QByteArray path = QFile::encodeName(QDir(QDir::tempPath()).filePath(name));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);
        SingleInstance next(name);
        QCOMPARE(next.claim(), SingleInstance::Role::Primary);
    }

    // Another copy in the middle of its claim holds the lock; this thread's timers run on.
    void claimKeepsTheEventLoopRunning()
    {
        const QString name = QStringLiteral("norvale-busy-%1").arg(QCoreApplication::applicationPid());
        QLockFile held(QDir(QDir::tempPath()).filePath(name + ".lock"));
        QVERIFY(held.tryLock(0));
        QTimer::singleShot(300, [&held] { held.unlock(); });
        QElapsedTimer clock;
        clock.start();
        SingleInstance copy(name);
        QCOMPARE(copy.claim(), SingleInstance::Role::Primary);
        QVERIFY2(clock.elapsed() < 2000, "the claim blocked until the lock's time-out");
    }

    void raiseRequestInPieces()
    {
        const QString name = QStringLiteral("norvale-pieces-%1").arg(QCoreApplication::applicationPid());
        SingleInstance first(name);
        QCOMPARE(first.claim(), SingleInstance::Role::Primary);
        QSignalSpy raised(&first, &SingleInstance::activationRequested);
        QLocalSocket client;
        client.connectToServer(name);
        QVERIFY(client.waitForConnected(2000));
        QTRY_VERIFY(first.findChild<QLocalSocket *>());
        QSignalSpy arrived(first.findChild<QLocalSocket *>(), &QLocalSocket::readyRead);
        for (const char *piece : {"ra", "is", "e\n"}) {
            QCOMPARE(raised.size(), 0);
            client.write(piece);
            client.flush();
            QVERIFY(arrived.wait(2000));
        }
        QTRY_COMPARE(raised.size(), 1);
    }

    void privateFolderWithoutRuntimeDir_data()
    {
        QTest::addColumn<QString>("before"); // what is at <temp>/norvale-<uid> beforehand
        QTest::addColumn<bool>("usable");
        QTest::newRow("nothing: created private") << "" << true;
        QTest::newRow("private folder of ours") << "0700" << true;
        QTest::newRow("folder others may enter") << "0755" << false;
        QTest::newRow("link to a private folder") << "link" << false;
    }

    void privateFolderWithoutRuntimeDir()
    {
        QFETCH(QString, before);
        QFETCH(bool, usable);
        QTemporaryDir temp;
        const QByteArray oldTemp = qgetenv("TMPDIR"), oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        qunsetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] {
            qputenv("TMPDIR", oldTemp);
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
        });
        const QString folder = temp.filePath(QStringLiteral("norvale-%1").arg(::getuid()));
        if (before == u"link") {
            QVERIFY(QDir().mkdir(temp.filePath("elsewhere"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QVERIFY(QFile::link(temp.filePath("elsewhere"), folder));
        } else if (!before.isEmpty()) {
            QVERIFY(QDir().mkdir(folder));
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), before.toUInt(nullptr, 8)), 0);
        }

        const QString name = SingleInstance::defaultServerName(QStringLiteral("Norvale Internet Radio"));
        SingleInstance instance(name);
        QCOMPARE(instance.claim(), usable ? SingleInstance::Role::Primary : SingleInstance::Role::Failed);
        if (!usable) {
            QVERIFY(name.isEmpty());
            return;
        }
        QCOMPARE(QFileInfo(name).absolutePath(), folder);
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
    }

    void terminationSignalDeliveredThroughTheEventLoopOnce_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void terminationSignalDeliveredThroughTheEventLoopOnce()
    {
        QFETCH(int, number);
        // Ignored before, so ignored again after the first delivery, keeping this test alive.
        std::signal(number, SIG_IGN);
        TerminationSignals termination;
        QVERIFY(termination.isActive());
        QSignalSpy received(&termination, &TerminationSignals::received);
        std::raise(number);
        QCOMPARE(received.size(), 0); // nothing happens inside the handler
        QVERIFY(received.wait(2000));
        QCOMPARE(received.takeFirst().at(0).toInt(), number);

        std::raise(number); // ignored now, as before
        QCoreApplication::processEvents();
        QCOMPARE(received.size(), 0);
        std::signal(number, SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
