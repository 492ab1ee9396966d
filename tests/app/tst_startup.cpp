#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "app/ProgramFolder.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "app/TerminationSignals.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <cstring>
#include <latch>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// An installed layout: <root>/bin (the executable's folder) and <root>/share/norvale.
struct Installation
{
    explicit Installation(const QDateTime &langTime = QDateTime::currentDateTime().addDays(-10))
    {
        QVERIFY(QDir().mkpath(bin()));
        writeBytes(shipped() + "/INST.INI", "[Online Radio]\ntaal=Nederlands\n");
        writeBytes(shipped() + "/lang.ini", "[Nederlands]\nerror14=shipped\n", langTime);
        writeBytes(shipped() + "/skins/Standaard_head.skn", "picture");
        writeBytes(shipped() + "/favo/.gitkeep", "");
    }

    QString bin() const { return root.filePath("bin"); }
    QString shipped() const { return root.filePath("share/norvale"); }
    QString userData() const { return root.filePath("home/.local/share"); }
    QString userFolder() const { return userData() + "/norvale"; }
    ProgramFolderInputs inputs(const QString &home = {}) const { return {home, bin(), userData(), {}}; }

    QTemporaryDir root;
};

// Every literal in the sources shaped like a text key, in the families lang.ini names
// its keys by. Read at test time, so keys added anywhere under src/ are held to it.
QStringList keysInSources()
{
    static const QRegularExpression key(QStringLiteral(
        R"re("(error\d+|errorREC[a-z0-9]*|f\d[a-z]+\d*|label\d+|command\d+[a-z]?|status[a-z]+|tray[a-z]+|)re"
        R"re(fav[a-z]{3,}|melding\d+|msntekst|REC[a-zA-Z]+\d*)")re"));
    QStringList keys;
    QDirIterator it(QStringLiteral(NORVALE_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile source(it.next());
        if (source.open(QIODevice::ReadOnly))
            for (const QRegularExpressionMatch &m : key.globalMatch(QString::fromUtf8(source.readAll())))
                keys << m.captured(1);
    }
    keys.removeDuplicates();
    return keys;
}

} // namespace

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

    void resolutionOrder_data()
    {
        // "home": NORVALE_HOME is set, "homeLang"/"exeLang": lang.ini is there, "seeded": the
        // shipped files are copied, "blocked": the chosen place lies below a plain file.
        QTest::addColumn<QString>("facts");
        QTest::addColumn<ProgramFolderSource>("source");
        QTest::newRow("home wins over a portable copy") << "home exeLang seeded" << ProgramFolderSource::Environment;
        QTest::newRow("home with lang.ini is left alone") << "home homeLang" << ProgramFolderSource::Environment;
        QTest::newRow("portable copy") << "exeLang" << ProgramFolderSource::ExecutableFolder;
        QTest::newRow("installed copy") << "seeded" << ProgramFolderSource::UserData;
        QTest::newRow("NORVALE_HOME below a file") << "home blocked" << ProgramFolderSource::Environment;
        QTest::newRow("user data below a file") << "blocked" << ProgramFolderSource::UserData;
    }

    void resolutionOrder()
    {
        QFETCH(QString, facts);
        QFETCH(ProgramFolderSource, source);
        const QStringList fact = facts.split(u' ');
        const bool setHome = fact.contains("home"), seeded = fact.contains("seeded"),
                   blocked = fact.contains("blocked");

        const Installation inst;
        const QString blocker = inst.root.filePath("plain-file");
        const QString home = blocked ? blocker + "/home" : inst.root.filePath("custom/home"); // not there yet
        if (fact.contains("homeLang"))
            writeBytes(home + "/LANG.INI", "[english]\n");
        if (fact.contains("exeLang"))
            writeBytes(inst.bin() + "/lang.ini", "[english]\n");
        ProgramFolderInputs inputs = inst.inputs(setHome ? home : QString());
        if (blocked) {
            writeBytes(blocker, "x");
            inputs.userDataDir = setHome ? inputs.userDataDir : blocker;
        }

        const ProgramFolderResult result = resolveProgramFolder(inputs);
        QCOMPARE(result.source, source);
        if (blocked) {
            QCOMPARE(result.error, ProgramFolderError::CannotCreate);
            QVERIFY(result.path.isEmpty() && !result.errorText.isEmpty());
            return;
        }
        QVERIFY2(result.ok(), qPrintable(result.errorText));
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join(u'\n')));
        const QString folder = source == ProgramFolderSource::Environment ? home
            : source == ProgramFolderSource::ExecutableFolder             ? inst.bin()
                                                                          : inst.userFolder();
        QCOMPARE(result.path, folder);
        QVERIFY(QDir(folder + "/favo").isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        // Only the chosen folder is touched.
        QCOMPARE(QFileInfo::exists(inst.userFolder()), source == ProgramFolderSource::UserData);
        QCOMPARE(QFileInfo::exists(folder + "/INST.INI"), seeded);
        if (seeded) {
            QCOMPARE(readBytes(folder + "/INST.INI"), QByteArray("[Online Radio]\ntaal=Nederlands\n"));
            QCOMPARE(readBytes(folder + "/lang.ini"), QByteArray("[Nederlands]\nerror14=shipped\n"));
            QCOMPARE(readBytes(folder + "/skins/Standaard_head.skn"), QByteArray("picture"));
        }
    }

    void existingFilesAreKept_data()
    {
        QTest::addColumn<int>("shippedAgeDays");
        QTest::addColumn<int>("localAgeDays");
        QTest::addColumn<QByteArray>("lang"); // lang.ini alone is refreshed when the shipped one is newer

        QTest::newRow("shipped lang.ini newer") << 1 << 5 << QByteArray("[Nederlands]\nerror14=shipped\n");
        QTest::newRow("own lang.ini newer") << 5 << 1 << QByteArray("[Nederlands]\nerror14=local\n");
    }

    void existingFilesAreKept()
    {
        QFETCH(int, shippedAgeDays);
        QFETCH(int, localAgeDays);

        const QDateTime now = QDateTime::currentDateTime();
        const Installation inst(now.addDays(-shippedAgeDays));
        const QString folder = inst.userFolder();
        // Other spellings, as another installation or the user left them.
        writeBytes(folder + "/inst.ini", "[Online Radio]\ntaal=english\n");
        writeBytes(folder + "/Skins/standaard_head.skn", "own picture");
        writeBytes(folder + "/favo/Radio 1", "[Favoriet]\n");
        writeBytes(folder + "/lang.ini", "[Nederlands]\nerror14=local\n", now.addDays(-localAgeDays));

        const ProgramFolderResult result = resolveProgramFolder(inst.inputs());
        QVERIFY(result.ok());
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join(u'\n')));
        QTEST(readBytes(folder + "/lang.ini"), "lang");
        QCOMPARE(readBytes(folder + "/inst.ini"), QByteArray("[Online Radio]\ntaal=english\n"));
        QVERIFY(!QFileInfo::exists(folder + "/INST.INI"));
        QCOMPARE(readBytes(folder + "/Skins/standaard_head.skn"), QByteArray("own picture"));
        QVERIFY(!QFileInfo::exists(folder + "/skins"));
        QCOMPARE(readBytes(folder + "/favo/Radio 1"), QByteArray("[Favoriet]\n"));
        // A refreshed copy carries the shipped time, so the next start copies nothing.
        const SeedResult again = seedProgramFolder(inst.shipped(), folder);
        QVERIFY(again.ok());
        QCOMPARE(again.copied, QStringList());
    }

    void shippedData()
    {
        QTemporaryDir home;
        const ProgramFolderResult result =
            resolveProgramFolder({home.path(), {}, {}, QStringLiteral(NORVALE_SOURCE_DIR "/data")});
        QVERIFY(result.ok());
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join(u'\n')));

        // Every key the code reads has a text in both languages.
        const QStringList keys = keysInSources();
        QVERIFY2(keys.size() > 100, qPrintable(keys.join(u' '))); // the scan found the sources
        QStringList missing;
        for (const QString &language : {QStringLiteral("Nederlands"), QStringLiteral("english")})
            for (const QString &key : keys)
                if (TaalTekst(result.path, language, key).isEmpty())
                    missing.append(language + u'/' + key);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));

        // A fresh installation starts on the Dutch list of the Netherlands at half volume.
        const QString inst = programFilePath(result.path, "INST.INI");
        QCOMPARE(ReadINI(inst, "Online Radio", "taal"), QStringLiteral("Nederlands"));
        QCOMPARE(ReadINI(inst, "Onthouden", "volume"), QStringLiteral("50"));
        QCOMPARE(ReadINI(inst, "Onthouden", "LaatsteLandBestand"), QStringLiteral("holland.txt"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
