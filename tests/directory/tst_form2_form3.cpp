#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "directory/Form2.h"
#include "directory/Form3.h"
#include "support/FakeTransfer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kCountries = QStringLiteral("<NAAM>Holland</Naam><bestand>holland.txt</bestand>\n"
                                          "<naam>Belgi\u00eb</naam><bestand>belgie.txt</bestand>\n"
                                          "<naam>Zonder bestand</naam>\n");

struct Rig
{
    static QString nederlands() { return QStringLiteral("Nederlands"); }
    QTemporaryDir home;
    FakeTransfer inet1;
    LanguageTexts texts {home.path(), nederlands};
    QStringList log;

    explicit Rig(const QString &remembered = {})
    {
        QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), home.filePath(QStringLiteral("lang.ini")));
        if (!remembered.isNull()) {
            WriteINI(iniPath(), QStringLiteral("Onthouden"), QStringLiteral("laadland"), remembered);
            WriteINI(iniPath(), QStringLiteral("Onthouden"), QStringLiteral("zoekland"), remembered);
        }
    }
    QString iniPath() const { return home.filePath(QStringLiteral("INST.INI")); }
    QString stored(const char *key) const
    {
        return ReadINI(iniPath(), QStringLiteral("Onthouden"), QLatin1String(key));
    }
    DirectoryDialogContext context()
    {
        return {&texts, nederlands, iniPath(), QUrl(QStringLiteral("http://d.test/")), &inet1};
    }
    // A hook that logs its name and the value it was given, if any.
    auto record(const char *what)
    {
        return [this, what](const auto &...value) {
            log << QStringList {QLatin1String(what), value...}.join(u' ');
        };
    }
    Form2::Hooks form2Hooks()
    {
        return {record("close"),   record("zender"),      record("land"),
                record("bestand"), record("placeholder"), record("timer1")};
    }
};

bool boxShown(QWidget *parent, const char *key)
{
    return parent->findChild<QMessageBox *>(QStringLiteral("message_") + QLatin1String(key)) != nullptr;
}

void clickRow(QListWidget *list, int row, bool twice = false)
{
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class TestForm2Form3 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countryListByLanguage() // only "Nederlands" itself gets keuze.txt (chooseCountry)
    {
        for (const char *other : {"english", "nederlands", ""})
            QCOMPARE(countryListUrl(QUrl("http://d.test/"), QLatin1String(other)).path(), "/radio/inter/keuze-uk.txt");
    }

    void chooseCountry_data()
    {
        QTest::addColumn<QString>("laadland");
        QTest::addColumn<int>("row"); // -1: press OK on what is selected
        QTest::addColumn<QString>("gesture"); // ok, double, cancel
        QTest::addColumn<QStringList>("effects");
        QTest::addColumn<QString>("stored");
        const QStringList belgie {"close",       "zender  - ", "land Belgi\u00eb", "bestand belgie.txt",
                                  "placeholder", "timer1"};
        QTest::newRow("OK on the remembered country") << "1" << -1 << "ok" << belgie << "1";
        QTest::newRow("double-click") << "-1" << 1 << "double" << belgie << "1";
        QTest::newRow("name without a file") << "0" << 2 << "ok" << QStringList {} << "0";
        QTest::newRow("nothing remembered, nothing selected") << QString() << -1 << "ok" << QStringList {} << "";
        QTest::newRow("stale position") << "7" << -1 << "ok" << QStringList {} << "7";
        QTest::newRow("cancel") << "0" << 1 << "cancel" << QStringList {} << "0";
    }

    void chooseCountry()
    {
        QFETCH(QString, laadland);
        QFETCH(int, row);
        QFETCH(QString, gesture);
        QFETCH(QStringList, effects);
        QFETCH(QString, stored);
        Rig rig(laadland);
        Form2 form(rig.context(), rig.form2Hooks());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *ok = form.findChild<QPushButton *>(QStringLiteral("Command1"));
        QVERIFY(!ok->isEnabled()); // waits for the list
        QCOMPARE(rig.inet1.requests.first().url.toString(), QStringLiteral("http://d.test/radio/inter/keuze.txt"));
        rig.inet1.answerLast(kCountries);
        QVERIFY(ok->isEnabled());
        QVERIFY(!boxShown(&form, "error4")); // a list that loaded is never reported as failed
        auto *list = form.findChild<QListWidget *>(QStringLiteral("List1"));
        QCOMPARE(list->count(), 3);
        if (row >= 0)
            clickRow(list, row, gesture == QLatin1String("double"));
        if (gesture == QLatin1String("ok"))
            QTest::mouseClick(ok, Qt::LeftButton);
        if (gesture == QLatin1String("cancel"))
            QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(rig.log, effects);
        QCOMPARE(rig.stored("laadland"), stored);
        QCOMPARE(form.isVisible(), effects.isEmpty() && gesture != QLatin1String("cancel"));
        QCOMPARE(boxShown(&form, "error2"), form.isVisible());
    }

    // A reply for a window already closed changes nothing.
    void staleCountryListDropped()
    {
        Rig rig(QStringLiteral("0"));
        Form2 form(rig.context(), rig.form2Hooks());
        form.Command2_Click();
        rig.inet1.answer(0, kCountries);
        QCOMPARE(form.findChild<QListWidget *>(QStringLiteral("List1"))->count(), 0);
        QVERIFY(!boxShown(&form, "error4"));
        form.LaadLijst_Taal(); // a failed download is reported, and the window stays
        rig.inet1.answer(1, {}, TransferError::Network);
        QVERIFY(boxShown(&form, "error4") && !form.isLoading());
    }

    void searchUrl_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("bestand");
        QTest::addColumn<QString>("query"); // empty: refused
        const auto row = [](const char *tag, const QString &word, const QString &bestand, const QString &query) {
            QTest::newRow(tag) << word << bestand << query;
        };
        row("country key", "jazz", "holland.txt", "zoeken=jazz&land=holland");
        row("all countries", "jazz", "", "zoeken=jazz&land=");
        row("ampersand and blanks", "R&B soul", "", "zoeken=R%26B%20soul&land=");
        row("hash, plus, equals", "a#b+c=d", "uk.txt", "zoeken=a%23b%2Bc%3Dd&land=uk");
        row("file name too short", "jazz", "abc", "");
    }

    void searchUrl()
    {
        QFETCH(QString, word);
        QFETCH(QString, bestand);
        QTEST(Form3::searchUrl(QUrl(QStringLiteral("http://d.test/")), word, bestand).query(QUrl::FullyEncoded),
              "query");
    }

    // Filter with its fixed entries, Enter runs the search, a click plays, OK stores.
    void searchClickPlaysOkStores()
    {
        Rig rig(QStringLiteral("3"));
        Form3::Hooks hooks {rig.record("url"), rig.record("naam"), rig.record("home")};
        Form3 form(rig.context(), hooks);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *combo = form.findChild<QComboBox *>(QStringLiteral("Combo1"));
        auto *list = form.findChild<QListWidget *>(QStringLiteral("List1"));
        clickRow(list, 0); // the hint is no station
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(rig.log.isEmpty() && boxShown(&form, "error5"));
        delete form.findChild<QMessageBox *>(QStringLiteral("message_error5"));

        // Typed before the country list is in: the search waits for the remembered filter.
        QTest::keyClicks(form.findChild<QLineEdit *>(QStringLiteral("Text1")), QStringLiteral("rock & roll"));
        QTest::keyClick(form.findChild<QLineEdit *>(QStringLiteral("Text1")), Qt::Key_Return);
        QVERIFY(form.isSearching());
        QCOMPARE(rig.inet1.requests.size(), 1);
        rig.inet1.answer(0, kCountries);
        QCOMPARE(combo->currentText(), QStringLiteral("Belgi\u00eb")); // "3": after "all" and a separator
        QCOMPARE(rig.inet1.requests.last().url.toString(QUrl::FullyEncoded),
                 QStringLiteral(
                     "http://d.test/radio/inter/zenders/radio-lijst-zoek.php?zoeken=rock%20%26%20roll&land=belgie"));
        QCOMPARE(list->count(), 0);
        rig.inet1.answerLast(QStringLiteral("<naam>Een</naam><url>http://1/</url><homepage>http://h1/</homepage>"
                                            "<naam>Twee</naam><url>http://2/</url><naam>Zonder adres</naam>"));
        QCOMPARE(list->count(), 3);
        clickRow(list, 2); // no address: the radio plays on
        QVERIFY(rig.log.isEmpty());
        clickRow(list, 1);
        QCOMPARE(rig.log, (QStringList {"url http://2/", "naam Twee", "home "}));
        QVERIFY(form.isVisible());
        combo->setCurrentIndex(0);
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(rig.stored("zoekland"), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestForm2Form3)
#include "tst_form2_form3.moc"
