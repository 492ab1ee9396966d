#include "IniFile.h"
#include "ProgramFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
    QVERIFY(f.flush()); // or closing would stamp the file with the current time again
    if (modified.isValid())
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

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

// Every key the windows, the recorder and the messages look up.
const QStringList kLanguageKeys =
    QStringLiteral(
        "label1 label12 label4 label5 label7 label11 label8 label10 label2 label6 label3 label14 label9 "
        "command1 command2 command3 command3b command3c msntekst f2label1 f2label2 f2label3 f2label4 "
        "f2command1 f2command2 f2command3 f3list1 f3command3 f3label1 f3label2 f3allelanden f4label1 f4check1 "
        "f4check2 f4check3 f4check4 f4check7 f5label1 f5label2 f5label7 f5label8 f5label9 f5label10 f5label11 "
        "f5label12 f6label1 f6label2 f6label3 f6command1 f6command2 f6command3 f7label1 f7command1 REClabel1 "
        "REClabel2 REClabel3 RECcommand1 RECcommand2 RECcommand3 RECstatClosed RECstatOpen RECstatListening "
        "RECstatConnectionPending RECstatResolvingHost RECstatHostResolved RECstatConnecting RECstatConnected "
        "RECstatClosing RECstatError error0 error1 error2 error4 error5 error7 error8 error9 error10 error11 "
        "error12 error13 error14 error15 error16 error17 error18 error19 error20 error21 error22 melding1 "
        "errorREC errorREC2")
        .split(u' ');

} // namespace

class TestProgramFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resolutionOrder_data();
    void resolutionOrder();
    void existingFilesAreKept_data();
    void existingFilesAreKept();
    void unusableFolder_data();
    void unusableFolder();
    void shippedData();
};

void TestProgramFolder::resolutionOrder_data()
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

void TestProgramFolder::resolutionOrder()
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

void TestProgramFolder::existingFilesAreKept_data()
{
    QTest::addColumn<int>("shippedAgeDays");
    QTest::addColumn<int>("localAgeDays");
    QTest::addColumn<QByteArray>("lang"); // lang.ini alone is refreshed when the shipped one is newer

    QTest::newRow("shipped lang.ini newer") << 1 << 5 << QByteArray("[Nederlands]\nerror14=shipped\n");
    QTest::newRow("own lang.ini newer") << 5 << 1 << QByteArray("[Nederlands]\nerror14=local\n");
}

void TestProgramFolder::existingFilesAreKept()
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

void TestProgramFolder::unusableFolder_data()
{
    QTest::addColumn<bool>("viaHome");
    QTest::addColumn<ProgramFolderSource>("source");

    QTest::newRow("NORVALE_HOME below a file") << true << ProgramFolderSource::Environment;
    QTest::newRow("user data below a file") << false << ProgramFolderSource::UserData;
}

void TestProgramFolder::unusableFolder()
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

void TestProgramFolder::shippedData()
{
    QTemporaryDir home;
    const ProgramFolderResult result =
        resolveProgramFolder({home.path(), {}, {}, QStringLiteral(NORVALE_SOURCE_DIR "/data")});
    QVERIFY(result.ok());
    QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join(u'\n')));

    const QString lang = programFilePath(result.path, QStringLiteral("lang.ini"));
    QStringList missing;
    for (const QString &language : {QStringLiteral("Nederlands"), QStringLiteral("english")}) {
        for (const QString &key : kLanguageKeys) {
            if (ReadINI(lang, language, key).isEmpty())
                missing.append(language + u'/' + key);
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));

    // A fresh installation starts on the Dutch list of the Netherlands at half volume.
    const QString inst = programFilePath(result.path, QStringLiteral("INST.INI"));
    QCOMPARE(ReadINI(inst, QStringLiteral("Online Radio"), QStringLiteral("taal")), QStringLiteral("Nederlands"));
    QCOMPARE(ReadINI(inst, QStringLiteral("Onthouden"), QStringLiteral("volume")), QStringLiteral("50"));
    QCOMPARE(ReadINI(inst, QStringLiteral("Onthouden"), QStringLiteral("LaatsteLandBestand")),
             QStringLiteral("holland.txt"));
}

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
