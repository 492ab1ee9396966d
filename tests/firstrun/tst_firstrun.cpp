#include "app/IniFile.h"
#include "app/SingleInstance.h"
#include "firstrun/FirstRun.h"
#include "firstrun/Form6.h"
#include "firstrun/Form7.h"
#include "settings/Registry.h"
#include "support/TestFiles.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

namespace {

// A program folder with the shipped texts, forwarder and skins.
void makeProgramFolder(const QTemporaryDir &dir)
{
    QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), dir.filePath("lang.ini"));
    QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/old.version"), dir.filePath("old.version"));
    writeBytes(dir.filePath("INST.INI"),
               "[Online Radio]\ntaal=Nederlands\nskin=Standaard\nvisual=1\n[Onthouden]\nfirstrun=0\nVolume=50\n");
    std::filesystem::copy(NORVALE_BINARY_DIR "/share/norvale/skins", dir.filePath("skins").toStdString());
}

} // namespace

class TestFirstRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:

    void everyWayOfClosingMarksTheFirstRun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("exit");
        QTest::newRow("Start") << "Command1" << int(FirstRunExit::Start);
        QTest::newRow("close box") << "close" << int(FirstRunExit::Closed);
        QTest::newRow("new settings, then Cancel") << "Command3" << int(FirstRunExit::Settings);
    }

    // Run as the program runs it: a second start raises the minimized window; every way of closing marks the run done.
    void everyWayOfClosingMarksTheFirstRun()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        makeProgramFolder(dir);
        SingleInstance first(dir.filePath("instance")), second(dir.filePath("instance"));
        QCOMPARE(first.claim(), SingleInstance::Role::Primary);
        QTimer::singleShot(0, [&] {
            Form6 *form = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                form = form ? form : qobject_cast<Form6 *>(w);
            const auto ending = qScopeGuard([form] { // a failed check still ends the run
                if (form->isVisible())
                    form->close();
            });
            QTRY_COMPARE(form->windowTitle(), QStringLiteral("Norvale - Welkom"));
            QVERIFY(form->findChild<QWidget *>("WebBrowser1"));
            form->showMinimized();
            QCOMPARE(second.claim(), SingleInstance::Role::Secondary);
            QTRY_VERIFY(form->isVisible() && !form->isMinimized());
            QSignalSpy finished(form, &Form6::finished);
            if (how == QLatin1String("close")) {
                form->close();
            } else {
                form->findChild<QPushButton *>(how)->click();
                if (how == QLatin1String("Command3")) {
                    QCOMPARE(finished.count(), 0); // the settings dialog is open over the window
                    auto *form4 = form->findChild<QDialog *>("Form4");
                    QVERIFY(form4 && form4->isVisible());
                    form4->findChild<QPushButton *>("Command2")->click();
                }
            }
            QCOMPARE(finished.count(), 1);
        });
        const Registry registry({dir.filePath("user"), dir.filePath("machine")});
        QTEST(int(runFirstRun(dir.path(), QUrl(QStringLiteral("http://127.0.0.1:1/")), registry,
                              QStringLiteral("/bin/norvale"), {}, &first)),
              "exit");
        QCOMPARE(ReadINI(dir.filePath("INST.INI"), "Onthouden", "firstrun"), QStringLiteral("1"));
    }

    void upgrade_data()
    {
        // Entries: %1 the old program, %2 this program, %3 a second older installation.
        QTest::addColumn<QString>("user"); // the per-user entry found
        QTest::addColumn<QString>("machine"); // the machine-wide entry found
        QTest::addColumn<QString>("old"); // "laden=…" of the old INST.INI, "no INST.INI", "FAVO", "blocked"
        QTest::addColumn<QStringList>("answers"); // key=button
        QTest::addColumn<bool>("takenOver"); // the last station
        QTest::addColumn<QString>("userEntry");
        const auto row = [](const char *name, const char *user, const char *machine, const char *old,
                            const char *answers, bool takenOver, const char *userEntry) {
            QTest::newRow(name) << QString(user) << QString(machine) << QString(old)
                                << QString(answers).split(u' ', Qt::SkipEmptyParts) << takenOver << QString(userEntry);
        };
        const char *yes = "error22=Yes melding1=Ok";
        row("machine entry, autostart off (rem)", "", "rem %1", "laden=1", yes, true, "%2");
        row("user entry, laden 0", "%1", "", "laden=0", yes, true, "rem %2");
        row("both: the user's own first", "rem %1", "%3", "laden=1", yes, true, "%2");
        row("user entry names this program, machine the old one", "%2", "%1", "laden=1", yes, true, "%2");
        row("FAVO in other case", "%1", "", "laden=1 FAVO", yes, true, "%2");
        row("failed copy keeps the old program", "%1", "", "laden=1 blocked", "error22=Yes melding1=Ok error20=Ok",
            true, "%2");
        row("laden missing in both files", "", "%1", "", "error22=Yes error20=Ok", false, "");
        row("declined", "", "%1", "laden=1", "error22=No", false, "");
        row("no INST.INI in the old folder", "%1", "%1", "laden=1 no INST.INI", "error21=Ok", false, "%1");
        row("no entry", "", "", "laden=1", "error21=Ok", false, "");
        row("the entries name this program", "%2", "rem %2", "laden=1", "error21=Ok", false, "%2");
    }

    void upgrade()
    {
        QFETCH(QString, user);
        QFETCH(QString, machine);
        QFETCH(QString, old);
        QFETCH(QStringList, answers);
        QFETCH(bool, takenOver);
        QFETCH(QString, userEntry);
        const bool blocked = old.contains(QLatin1String("blocked"));
        const QString favo = old.contains(QLatin1String("FAVO")) ? QStringLiteral("FAVO/") : QStringLiteral("favo/");
        QTemporaryDir program, folder, other;
        makeProgramFolder(program);
        writeBytes(program.filePath(blocked ? "favo" : "favo/Bestaand.ini"), "[Zender]\n");
        const QString oldPath = folder.filePath("norvale2"), self = program.filePath("norvale");
        writeBytes(oldPath, "old program");
        writeBytes(self, "this program");
        writeBytes(other.filePath("INST.INI"), "[Onthouden]\nLaatsteNAAM=Ander\n");
        // Written by an older system in its code page: "Caf\xe9" is "Café".
        if (!old.contains(QLatin1String("no INST.INI")))
            writeBytes(folder.filePath("inst.ini"),
                       "[Online Radio]\r\ntaal=english\r\nvisual=\r\n[Windows]\r\n" + old.section(u' ', 0, 0).toLatin1()
                           + "\r\n[Onthouden]\r\nLaatsteNAAM=Radio Caf\xe9\r\nvolume=80\r\n");
        writeBytes(folder.filePath(favo + "sub/Twee.ini"), "[Zender]\n");
        writeBytes(folder.filePath("geheim.txt"), "outside favo");
        QVERIFY(QFile::link(folder.filePath("geheim.txt"), folder.filePath(favo + "link.ini")));

        const Registry registry({program.filePath("user"), program.filePath("machine")});
        const QString key = kRunKey, name = kRunValueName;
        const auto expand = [&](QString entry) {
            return entry.replace("%1", oldPath).replace("%2", self).replace("%3", other.filePath("norvale2"));
        };
        if (!user.isEmpty())
            registry.write(RegistryRoot::CurrentUser, key, name, expand(user));
        if (!machine.isEmpty())
            registry.write(RegistryRoot::LocalMachine, key, name, expand(machine));

        auto *form = new Form7(program.path(), LanguageTexts(program.path(), [] { return QStringLiteral("english"); }),
                               registry, self);
        form->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<Form7> alive(form);
        form->open();
        form->Timer1_Timer();
        const QHash<QString, QMessageBox::StandardButton> buttons {
            {"Yes", QMessageBox::Yes}, {"No", QMessageBox::No}, {"Ok", QMessageBox::Ok}};
        for (const QString &a : answers) { // key=button, answered once that box has opened
            QMessageBox *box = nullptr;
            QTRY_VERIFY((box = form->findChild<QMessageBox *>("message_" + a.section(u'=', 0, 0))) && box->isVisible());
            if (a.startsWith(QLatin1String("error22"))) // the question names the folder it takes over
                QCOMPARE(box->informativeText(), folder.path() + QLatin1Char('/'));
            box->button(buttons.value(a.section(u'=', 1)))->click();
        }
        QTRY_VERIFY(!alive);

        const QString ini = program.filePath("INST.INI");
        const bool started = answers.constFirst() == QLatin1String("error22=Yes");
        const bool forwarded = takenOver && !blocked;
        QCOMPARE(ReadINI(ini, "Online Radio", "taal"),
                 started ? QStringLiteral("english") : QStringLiteral("Nederlands"));
        QCOMPARE(ReadINI(ini, "Online Radio", "visual"), QStringLiteral("1")); // an empty old value overwrites nothing
        QCOMPARE(ReadINI(ini, "Onthouden", "LaatsteNAAM"), takenOver ? QStringLiteral("Radio Café") : QString());
        QCOMPARE(ReadINI(ini, "Onthouden", "Volume"), takenOver ? QStringLiteral("80") : QStringLiteral("50"));
        QCOMPARE(QFileInfo::exists(program.filePath("favo/sub/Twee.ini")), forwarded);
        QCOMPARE(QFileInfo::exists(program.filePath("favo/Bestaand.ini")), !blocked);
        QVERIFY(!QFileInfo::exists(program.filePath("favo/link.ini")));
        QCOMPARE(registry.read(RegistryRoot::CurrentUser, key, name), expand(userEntry));
        if (takenOver)
            QCOMPARE(registry.read(RegistryRoot::LocalMachine, key, name), QStringLiteral("rem ") + self);
        for (const QTemporaryDir *dir : {&folder, &other}) // only the old folder, and only when its favourites are here
            QCOMPARE(ReadINI(dir->filePath("INST.INI"), "NV3.0", "Start"),
                     forwarded && dir == &folder ? self : QString());
        QCOMPARE(readBytes(oldPath).startsWith("#!/bin/sh"), forwarded);
        QCOMPARE(bool(QFile::permissions(oldPath) & QFileDevice::ExeOwner), forwarded);
        QCOMPARE(QDir(folder.path()).entryList({"*forwarder*"}, QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(readBytes(self), QByteArray("this program"));
    }
};

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
