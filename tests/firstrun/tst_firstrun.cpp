#include "Form6.h"
#include "Form7.h"
#include "IniFile.h"
#include "Registry.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Programs the answer to the message box for key once it has opened.
void answer(QWidget *window, const QString &key, QMessageBox::StandardButton button)
{
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = window->findChild<QMessageBox *>(QStringLiteral("message_") + key)) && box->isVisible());
    box->button(button)->click();
}

// A program folder with the shipped texts and forwarder, and the Standaard skin's
// dialog pictures.
void makeProgramFolder(const QTemporaryDir &dir)
{
    QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), dir.filePath(QStringLiteral("lang.ini")));
    QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/old.version"), dir.filePath(QStringLiteral("old.version")));
    writeFile(dir.filePath(QStringLiteral("INST.INI")),
              "[Online Radio]\ntaal=Nederlands\nskin=Standaard\nvisual=1\n[Onthouden]\nfirstrun=0\nVolume=50\n");
    for (const char *name : {"skins/Standaard_frame1.skn", "skins/Standaard_balk1.skn"}) {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::white);
        QDir().mkpath(dir.filePath(QStringLiteral("skins")));
        QVERIFY(image.save(dir.filePath(QLatin1String(name)), "PNG"));
    }
}

} // namespace

class TestFirstRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyWayOfClosingMarksTheFirstRun_data();
    void everyWayOfClosingMarksTheFirstRun();
    void upgrade_data();
    void upgrade();
};

void TestFirstRun::everyWayOfClosingMarksTheFirstRun_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("exit");
    QTest::newRow("Start") << "Command1" << int(FirstRunExit::Start);
    QTest::newRow("close box") << "close" << int(FirstRunExit::Closed);
    QTest::newRow("new settings, then Cancel") << "Command3" << int(FirstRunExit::Settings);
}

void TestFirstRun::everyWayOfClosingMarksTheFirstRun()
{
    QFETCH(QString, how);
    QFETCH(int, exit);
    QTemporaryDir dir;
    makeProgramFolder(dir);
    const Registry registry({dir.filePath(QStringLiteral("user")), dir.filePath(QStringLiteral("machine"))});
    Form6 form(dir.path(), QUrl(QStringLiteral("http://127.0.0.1:1/")), registry, QStringLiteral("/bin/norvale"));
    QSignalSpy finished(&form, &Form6::finished);
    form.load();
    QTRY_COMPARE(form.windowTitle(), QStringLiteral("Norvale - Welkom"));
    QVERIFY(form.findChild<QWidget *>(QStringLiteral("WebBrowser1")));

    if (how == QLatin1String("close")) {
        form.close();
    } else {
        form.findChild<QPushButton *>(how)->click();
        if (how == QLatin1String("Command3")) {
            QCOMPARE(finished.count(), 0); // the settings dialog is open over the window
            auto *form4 = form.findChild<QDialog *>(QStringLiteral("Form4"));
            QVERIFY(form4 && form4->isVisible());
            form4->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        }
    }
    QCOMPARE(finished.count(), 1);
    QCOMPARE(int(form.exitPath()), exit);
    QCOMPARE(ReadINI(dir.filePath(QStringLiteral("INST.INI")), QStringLiteral("Onthouden"), QStringLiteral("firstrun")),
             QStringLiteral("1"));
}

void TestFirstRun::upgrade_data()
{
    QTest::addColumn<QString>("entry"); // %1: the old program, %2: this program
    QTest::addColumn<QByteArray>("laden"); // the old "laden" line
    QTest::addColumn<QStringList>("answers"); // key=button
    QTest::addColumn<bool>("takenOver"); // last station, favourites, forwarder
    QTest::addColumn<QString>("userEntry");

    const QStringList yes = {"error22=Yes", "melding1=Ok"};
    QTest::newRow("autostart was off (rem), laden 1") << "rem %1" << QByteArray("laden=1") << yes << true << "%2";
    QTest::newRow("laden 0") << "%1" << QByteArray("laden=0") << yes << true << "rem %2";
    QTest::newRow("laden missing in both files")
        << "%1" << QByteArray() << QStringList {"error22=Yes", "error20=Ok"} << false << "";
    QTest::newRow("declined") << "%1" << QByteArray("laden=1") << QStringList {"error22=No"} << false << "";
    QTest::newRow("no entry") << "" << QByteArray("laden=1") << QStringList {"error21=Ok"} << false << "";
    QTest::newRow("the entry names this program")
        << "rem %2" << QByteArray("laden=1") << QStringList {"error21=Ok"} << false << "";
}

void TestFirstRun::upgrade()
{
    QFETCH(QString, entry);
    QFETCH(QByteArray, laden);
    QFETCH(QStringList, answers);
    QFETCH(bool, takenOver);
    QFETCH(QString, userEntry);
    QTemporaryDir program, old;
    makeProgramFolder(program);
    writeFile(program.filePath(QStringLiteral("favo/Bestaand.ini")), "[Zender]\n");
    const QString oldPath = old.filePath(QStringLiteral("norvale2"));
    const QString self = program.filePath(QStringLiteral("norvale"));
    writeFile(oldPath, "old program");
    writeFile(self, "this program");
    // Written by an older system in its code page: "Caf\xe9" is "Café".
    writeFile(old.filePath(QStringLiteral("inst.ini")),
              "[Online Radio]\r\ntaal=english\r\nvisual=\r\n[Windows]\r\n" + laden
                  + "\r\n[Onthouden]\r\nLaatsteNAAM=Radio Caf\xe9\r\nvolume=80\r\n");
    writeFile(old.filePath(QStringLiteral("favo/Een.ini")), "[Zender]\nnaam=Een\n");
    writeFile(old.filePath(QStringLiteral("favo/sub/Twee.ini")), "[Zender]\n");
    writeFile(old.filePath(QStringLiteral("geheim.txt")), "outside favo");
    QVERIFY(QFile::link(old.filePath(QStringLiteral("geheim.txt")), old.filePath(QStringLiteral("favo/link.ini"))));

    const Registry registry({program.filePath(QStringLiteral("user")), program.filePath(QStringLiteral("machine"))});
    const QString key = QLatin1String(kRunKey), name = QLatin1String(kRunValueName);
    if (!entry.isEmpty())
        registry.write(RegistryRoot::LocalMachine, key, name,
                       QString(entry).replace(QLatin1String("%1"), oldPath).replace(QLatin1String("%2"), self));

    auto *form = new Form7(program.path(), LanguageTexts(program.path(), [] { return QStringLiteral("english"); }),
                           registry, self);
    form->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<Form7> alive(form);
    form->open();
    form->Timer1_Timer();
    for (const QString &a : answers) {
        const QStringList parts = a.split(QLatin1Char('='));
        answer(form, parts[0],
               parts[1] == QLatin1String("Yes")      ? QMessageBox::Yes
                   : parts[1] == QLatin1String("No") ? QMessageBox::No
                                                     : QMessageBox::Ok);
    }
    QTRY_VERIFY(!alive);

    const QString ini = program.filePath(QStringLiteral("INST.INI"));
    const auto value = [&](const char *section, const char *k) {
        return ReadINI(ini, QLatin1String(section), QLatin1String(k));
    };
    const bool started = answers.constFirst() == QLatin1String("error22=Yes");
    QCOMPARE(value("Online Radio", "taal"), started ? QStringLiteral("english") : QStringLiteral("Nederlands"));
    QCOMPARE(value("Online Radio", "visual"), QStringLiteral("1")); // an empty old value overwrites nothing
    QCOMPARE(value("Onthouden", "LaatsteNAAM"), takenOver ? QStringLiteral("Radio Café") : QString());
    QCOMPARE(value("Onthouden", "Volume"), takenOver ? QStringLiteral("80") : QStringLiteral("50"));
    QCOMPARE(QFileInfo::exists(program.filePath(QStringLiteral("favo/sub/Twee.ini"))), takenOver);
    QVERIFY(QFileInfo::exists(program.filePath(QStringLiteral("favo/Bestaand.ini"))));
    QVERIFY(!QFileInfo::exists(program.filePath(QStringLiteral("favo/link.ini"))));
    QCOMPARE(registry.read(RegistryRoot::CurrentUser, key, name), userEntry.replace(QLatin1String("%2"), self));
    if (takenOver)
        QCOMPARE(registry.read(RegistryRoot::LocalMachine, key, name), QStringLiteral("rem ") + self);
    QCOMPARE(ReadINI(old.filePath(QStringLiteral("INST.INI")), QStringLiteral("NV3.0"), QStringLiteral("Start")),
             takenOver ? self : QString());
    QFile oldProgram(oldPath);
    QVERIFY(oldProgram.open(QIODevice::ReadOnly));
    QCOMPARE(oldProgram.readAll().startsWith("#!/bin/sh"), takenOver);
    QCOMPARE(bool(oldProgram.permissions() & QFileDevice::ExeOwner), takenOver);
    QFile selfFile(self);
    QVERIFY(selfFile.open(QIODevice::ReadOnly));
    QCOMPARE(selfFile.readAll(), QByteArray("this program"));
}

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
