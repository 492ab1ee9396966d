#include "app/IniFile.h"
#include "settings/Form4.h"
#include "settings/PictureCheck.h"
#include "settings/Registry.h"
#include "settings/SettingsValues.h"
#include "support/TestFiles.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadCountsMissingAsZero_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QList<int>>("values"); // laden, afspelen, grootscherm, xsluiten, visual, combotaal
        QTest::newRow("complete") << QByteArray("[Windows]\nladen=1\n[Online Radio]\nafspelen=1\ngrootscherm=0\n"
                                                "xsluiten=1\nvisual=1\ncombotaal=1\ntaal=english\n")
                                  << QList<int> {1, 1, 0, 1, 1, 1};
        QTest::newRow("laden missing: the rest still loads")
            << QByteArray("[Online Radio]\nafspelen=1\ngrootscherm=1\nxsluiten=0\nvisual=1\ncombotaal=1\n")
            << QList<int> {0, 1, 1, 0, 1, 1};
        QTest::newRow("empty file: Nederlands") << QByteArray() << QList<int> {0, 0, 0, 0, 0, 0};
        QTest::newRow("no position: taal decides")
            << QByteArray("[Online Radio]\ntaal=english\n") << QList<int> {0, 0, 0, 0, 0, 1};
        QTest::newRow("no numbers, position out of range")
            << QByteArray("[Windows]\nladen=ja\n[Online Radio]\nafspelen=2\ncombotaal=-1\ntaal=\n")
            << QList<int> {0, 0, 0, 0, 0, 0};
    }

    void loadCountsMissingAsZero()
    {
        QFETCH(QByteArray, ini);
        QTemporaryDir dir;
        const QString path = dir.filePath("INST.INI");
        writeBytes(path, ini);
        const SettingsValues v = loadSettings(path);
        QTEST((QList<int> {v.laden, v.afspelen, v.grootscherm, v.xsluiten, v.visual, v.combotaal}), "values");
        QVERIFY(!v.taal().isEmpty());
    }

    void dialogStores_data()
    {
        QTest::addColumn<QString>("button"); // Command1 OK, Command2 Cancel
        QTest::addColumn<bool>("tickCheck1");
        QTest::addColumn<QString>("laden");
        QTest::addColumn<QString>("userEntry"); // "%1": the program path
        QTest::addColumn<QString>("machineEntry");
        const auto row = [](const char *tag, const char *button, bool tick, const char *laden, const char *user,
                            const char *machine) {
            QTest::newRow(tag) << QString(button) << tick << QString(laden) << QString(user) << QString(machine);
        };
        row("autostart on", "Command1", true, "1", "%1", "rem %1");
        row("autostart off", "Command1", false, "0", "rem %1", "rem %1");
        row("cancel writes nothing", "Command2", true, "", "", "");
    }

    void dialogStores()
    {
        QFETCH(QString, button);
        QFETCH(bool, tickCheck1);
        QFETCH(QString, laden);
        QFETCH(QString, userEntry);
        QFETCH(QString, machineEntry);
        QTemporaryDir dir;
        const QString ini = dir.filePath("INST.INI");
        WriteINI(ini, "Online Radio", "visual", "1");
        const Registry registry({dir.filePath("user"), dir.filePath("machine")});
        const QString program = QStringLiteral("/opt/Norvale 3/norvale");

        QString stored;
        Form4 form(dir.path(), LanguageTexts(dir.path(), {}), registry, program);
        connect(&form, &Form4::languageStored, this, [&](const QString &language) { stored = language; });
        QVERIFY(form.findChild<PictureCheck *>("Check5")->isChecked());
        QCOMPARE(form.findChild<QComboBox *>("Combo1")->currentText(), QStringLiteral("Nederlands"));
        if (tickCheck1)
            QTest::mouseClick(form.findChild<PictureCheck *>("Check1"), Qt::LeftButton);
        form.findChild<QComboBox *>("Combo1")->setCurrentIndex(1);
        form.findChild<QPushButton *>(button)->click();

        QCOMPARE(ReadINI(ini, "Windows", "laden"), laden);
        const bool ok = !laden.isEmpty();
        QCOMPARE(ReadINI(ini, "Online Radio", "taal"), QLatin1String(ok ? "english" : ""));
        QCOMPARE(ReadINI(ini, "Online Radio", "combotaal"), QLatin1String(ok ? "1" : ""));
        QCOMPARE(ReadINI(ini, "Online Radio", "visual"), QStringLiteral("1"));
        QCOMPARE(stored, ok ? QStringLiteral("english") : QString());
        QCOMPARE(registry.read(RegistryRoot::CurrentUser, kRunKey, kRunValueName), userEntry.arg(program));
        QCOMPARE(registry.read(RegistryRoot::LocalMachine, kRunKey, kRunValueName), machineEntry.arg(program));
        QCOMPARE(form.result(), ok ? QDialog::Accepted : QDialog::Rejected);
    }

    void registryRoundTrip()
    {
        QTemporaryDir dir;
        const Registry registry({dir.filePath("user"), dir.filePath("machine")});
        const QString key = kRunKey, name = kRunValueName;
        const QString data = R"(/opt/My "Radio" $HOME 100%\x/norvale)";
        // The entry is an autostart desktop file: switched off ("rem ...") means Hidden.
        QFile entry(registry.entryPath(RegistryRoot::CurrentUser, name));
        QCOMPARE(registry.read(RegistryRoot::LocalMachine, key, name, QStringLiteral("none")), QStringLiteral("none"));
        for (const QString &value : {data, "rem " + data}) {
            for (const RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
                QVERIFY(registry.write(root, key, name, value));
                QCOMPARE(registry.read(root, key, name), value);
            }
            QVERIFY(entry.open(QIODevice::ReadOnly));
            const QByteArray text = entry.readAll();
            entry.close();
            QVERIFY(text.contains("Name=Norvale Internet Radio\n"));
            QCOMPARE(text.contains("Hidden=true"), value != data);
        }
        // Another key is no autostart value; a folder that cannot be created is skipped.
        QVERIFY(!registry.write(RegistryRoot::CurrentUser, QStringLiteral("Software\\Other"), name, data));
        const Registry blocked({entry.fileName() + "/below-a-file", {}});
        QVERIFY(!blocked.write(RegistryRoot::CurrentUser, key, name, data));
        QCOMPARE(blocked.read(RegistryRoot::CurrentUser, key, name), QString());
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
