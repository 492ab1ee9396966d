#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "app/ProgramFolder.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An installed layout: <root>/bin (the executable's folder) and <root>/share/norvale.
struct Installation
{
    explicit Installation(const QDateTime &langTime = QDateTime::currentDateTime().addDays(-10))
    {
        QVERIFY(QDir().mkpath(bin()));
        writeBytes(shipped() + QStringLiteral("/INST.INI"), "[Online Radio]\ntaal=Nederlands\n");
        writeBytes(shipped() + QStringLiteral("/lang.ini"), "[Nederlands]\nerror14=shipped\n", langTime);
        writeBytes(shipped() + QStringLiteral("/skins/Standaard_head.skn"), "picture");
        writeBytes(shipped() + QStringLiteral("/favo/.gitkeep"), "");
    }

    QString bin() const { return root.filePath(QStringLiteral("bin")); }
    QString shipped() const { return root.filePath(QStringLiteral("share/norvale")); }
    QString userData() const { return root.filePath(QStringLiteral("home/.local/share")); }
    QString userFolder() const { return userData() + QStringLiteral("/norvale"); }
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

class TestProgramFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resolutionOrder_data()
    {
        QTest::addColumn<bool>("setHome");
        QTest::addColumn<bool>("homeHasLang");
        QTest::addColumn<bool>("exeHasLang");
        QTest::addColumn<ProgramFolderSource>("source");
        QTest::addColumn<bool>("seeded");

        QTest::newRow("home wins over a portable copy")
            << true << false << true << ProgramFolderSource::Environment << true;
        QTest::newRow("home with lang.ini is left alone")
            << true << true << false << ProgramFolderSource::Environment << false;
        QTest::newRow("portable copy") << false << false << true << ProgramFolderSource::ExecutableFolder << false;
        QTest::newRow("installed copy") << false << false << false << ProgramFolderSource::UserData << true;
    }

    void resolutionOrder()
    {
        QFETCH(bool, setHome);
        QFETCH(bool, homeHasLang);
        QFETCH(bool, exeHasLang);
        QFETCH(ProgramFolderSource, source);
        QFETCH(bool, seeded);

        const Installation inst;
        const QString home = inst.root.filePath(QStringLiteral("custom/home")); // does not exist yet
        if (homeHasLang)
            writeBytes(home + QStringLiteral("/LANG.INI"), "[english]\n");
        if (exeHasLang)
            writeBytes(inst.bin() + QStringLiteral("/lang.ini"), "[english]\n");

        const ProgramFolderResult result = resolveProgramFolder(inst.inputs(setHome ? home : QString()));
        QVERIFY2(result.ok(), qPrintable(result.errorText));
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join(u'\n')));
        QCOMPARE(result.source, source);
        const QString folder = source == ProgramFolderSource::Environment ? home
            : source == ProgramFolderSource::ExecutableFolder             ? inst.bin()
                                                                          : inst.userFolder();
        QCOMPARE(result.path, folder);
        QVERIFY(QDir(folder + QStringLiteral("/favo")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        // Only the chosen folder is touched.
        QCOMPARE(QFileInfo::exists(inst.userFolder()), source == ProgramFolderSource::UserData);
        QCOMPARE(QFileInfo::exists(folder + QStringLiteral("/INST.INI")), seeded);
        if (seeded) {
            QCOMPARE(readBytes(folder + QStringLiteral("/INST.INI")), QByteArray("[Online Radio]\ntaal=Nederlands\n"));
            QCOMPARE(readBytes(folder + QStringLiteral("/lang.ini")), QByteArray("[Nederlands]\nerror14=shipped\n"));
            QCOMPARE(readBytes(folder + QStringLiteral("/skins/Standaard_head.skn")), QByteArray("picture"));
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
        QFETCH(QByteArray, lang);

        const QDateTime now = QDateTime::currentDateTime();
        const Installation inst(now.addDays(-shippedAgeDays));
        const QString folder = inst.userFolder();
        // Other spellings, as another installation or the user left them.
        writeBytes(folder + QStringLiteral("/inst.ini"), "[Online Radio]\ntaal=english\n");
        writeBytes(folder + QStringLiteral("/Skins/standaard_head.skn"), "own picture");
        writeBytes(folder + QStringLiteral("/favo/Radio 1"), "[Favoriet]\n");
        writeBytes(folder + QStringLiteral("/lang.ini"), "[Nederlands]\nerror14=local\n", now.addDays(-localAgeDays));

        const ProgramFolderResult result = resolveProgramFolder(inst.inputs());
        QVERIFY(result.ok());
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join(u'\n')));
        QCOMPARE(readBytes(folder + QStringLiteral("/lang.ini")), lang);
        QCOMPARE(readBytes(folder + QStringLiteral("/inst.ini")), QByteArray("[Online Radio]\ntaal=english\n"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/INST.INI")));
        QCOMPARE(readBytes(folder + QStringLiteral("/Skins/standaard_head.skn")), QByteArray("own picture"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/skins")));
        QCOMPARE(readBytes(folder + QStringLiteral("/favo/Radio 1")), QByteArray("[Favoriet]\n"));
        // A refreshed copy carries the shipped time, so the next start copies nothing.
        const SeedResult again = seedProgramFolder(inst.shipped(), folder);
        QVERIFY(again.ok());
        QCOMPARE(again.copied, QStringList());
    }

    void unusableFolder_data()
    {
        QTest::addColumn<bool>("viaHome");
        QTest::addColumn<ProgramFolderSource>("source");

        QTest::newRow("NORVALE_HOME below a file") << true << ProgramFolderSource::Environment;
        QTest::newRow("user data below a file") << false << ProgramFolderSource::UserData;
    }

    void unusableFolder()
    {
        QFETCH(bool, viaHome);
        QFETCH(ProgramFolderSource, source);

        const Installation inst;
        const QString blocker = inst.root.filePath(QStringLiteral("plain-file"));
        writeBytes(blocker, "x");
        ProgramFolderInputs inputs = inst.inputs(viaHome ? blocker + QStringLiteral("/home") : QString());
        if (!viaHome)
            inputs.userDataDir = blocker;
        const ProgramFolderResult result = resolveProgramFolder(inputs);
        QCOMPARE(result.error, ProgramFolderError::CannotCreate);
        QCOMPARE(result.source, source);
        QVERIFY(result.path.isEmpty());
        QVERIFY(!result.errorText.isEmpty());
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
        const QString inst = programFilePath(result.path, QStringLiteral("INST.INI"));
        QCOMPARE(ReadINI(inst, QStringLiteral("Online Radio"), QStringLiteral("taal")), QStringLiteral("Nederlands"));
        QCOMPARE(ReadINI(inst, QStringLiteral("Onthouden"), QStringLiteral("volume")), QStringLiteral("50"));
        QCOMPARE(ReadINI(inst, QStringLiteral("Onthouden"), QStringLiteral("LaatsteLandBestand")),
                 QStringLiteral("holland.txt"));
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
