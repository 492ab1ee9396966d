// The real program, started where its engine cannot start and its program folder cannot
// be completed: each failure is said once, before any station is tried.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestStartWarnings final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failuresAreSaidOnce()
    {
        QTemporaryDir home;
        // A file where the favourites folder belongs: seeding cannot create it.
        QFile blocker(home.filePath(QStringLiteral("favo")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        QProcess norvale;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NORVALE_HOME"), home.path());
        env.insert(QStringLiteral("NORVALE_DIRECTORY_URL"), QStringLiteral("http://127.0.0.1:9/"));
        env.insert(QStringLiteral("NORVALE_MPV_OPTIONS"), QStringLiteral("ao=null,audio-device=help"));
        norvale.setProcessEnvironment(env);
        norvale.setProcessChannelMode(QProcess::MergedChannels);
        norvale.start(QStringLiteral(NORVALE_EXECUTABLE), {});
        QByteArray output;
        // Main says the engine failure first, then the folder's.
        QTRY_VERIFY_WITH_TIMEOUT((output += norvale.readAll()).contains("could not be placed in the program folder"),
                                 20000);
        norvale.kill();
        norvale.waitForFinished();
        QCOMPARE(output.count("The playback engine (libmpv) did not start"), 1);
        QVERIFY(output.contains("cannot create"));
    }
};

QTEST_GUILESS_MAIN(TestStartWarnings)
#include "tst_startwarnings.moc"
