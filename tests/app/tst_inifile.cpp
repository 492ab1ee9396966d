#include "IniFile.h"
#include "LanguageTexts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList filesIn(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void write_data();
    void write();
    void interruptedWriteKeepsOldFile();
    void invalidNames_data();
    void invalidNames();
    void languageTexts_data();
    void languageTexts();
};

void TestIniFile::read_data()
{
    QTest::addColumn<QString>("diskName"); // the file asked for is always INST.INI
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const QString &disk, const QByteArray &content, const QString &section,
                        const QString &key, const QString &expected) {
        QTest::newRow(tag) << disk << content << section << key << expected;
    };

    const QByteArray inst = "[Online Radio]\ntaal=Nederlands\n[Onthouden]\nVolume=50\n";
    const QString longValue(250, QLatin1Char('u'));
    const QString veryLong = QStringLiteral("http://stream.example/") + QString(4978, QLatin1Char('x'));
    row("file name case", "inst.ini", inst, "Onthouden", "Volume", "50");
    row("section case", "INST.INI", inst, "online radio", "taal", "Nederlands");
    row("key case", "INST.INI", inst, "Onthouden", "volume", "50");
    row("key in other section", "INST.INI", inst, "Onthouden", "taal", "");
    row("missing key", "INST.INI", inst, "Onthouden", "LaatsteURL", "");
    row("missing section", "INST.INI", inst, "Record", "dir", "");
    row("missing file", "other.ini", inst, "Onthouden", "Volume", "");
    row("empty value", "INST.INI", "[s]\nk=\nk2=x\n", "s", "k", "");
    row("trailing blanks", "INST.INI", "[s]\nk=Radio 10  \t \n", "s", "k", "Radio 10");
    row("blanks around names", "INST.INI", "[ s ]\n   k  = v\n", "s", "k", "v");
    row("equals in value", "INST.INI", "[s]\nurl=http://h/p?a=1&b=2\n", "s", "url", "http://h/p?a=1&b=2");
    row("comment is no key", "INST.INI", "[s]\n;k=1\n", "s", ";k", "");
    row("250 characters", "INST.INI", "[s]\nk=" + longValue.toUtf8() + "\n", "s", "k", longValue);
    row("5000 characters", "INST.INI", "[s]\nk=" + veryLong.toUtf8() + "\n", "s", "k", veryLong);
    row("windows-1252", "INST.INI", "[s]\nk=Caf\xE9 \x80 \x93x\x94\n", "s", "k", u"Caf\u00E9 \u20AC \u201Cx\u201D"_s);
    row("utf-8 with BOM, first section", "INST.INI", "\xEF\xBB\xBF[Nl]\nf5=Ge\xC3\xAFnstalleerd\n", "Nl", "f5",
        u"Ge\u00EFnstalleerd"_s);
    row("CRLF", "INST.INI", "[s]\r\nk=v\r\nk2=w\r\n", "s", "k", "v");
    row("no final line break", "INST.INI", "[s]\nk=last", "s", "k", "last");
    row("first of two sections", "INST.INI", "[s]\nk=1\n[t]\n[S]\nk=2\nj=3\n", "s", "k", "1");
    row("first of two keys", "INST.INI", "[s]\nK=1\nk=2\n", "s", "k", "1");
}

void TestIniFile::read()
{
    QFETCH(QString, diskName);
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    writeBytes(dir.filePath(diskName), content);
    QCOMPARE(ReadINI(dir.filePath(QStringLiteral("INST.INI")), section, key), expected);
}

void TestIniFile::write_data()
{
    QTest::addColumn<QString>("diskName"); // empty: no file yet
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("writtenName");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("readBack");
    const auto fileRow = [](const char *tag, const QString &disk, const QByteArray &before, const QString &written,
                            const QString &section, const QString &key, const QString &value, const QByteArray &after,
                            const QString &readBack) {
        QTest::newRow(tag) << disk << before << written << section << key << value << after << readBack;
    };
    const auto row = [&](const char *tag, const QByteArray &before, const QString &section, const QString &key,
                         const QString &value, const QByteArray &after, const QString &readBack = {}) {
        fileRow(tag, before.isNull() ? QString() : QStringLiteral("INST.INI"), before, QStringLiteral("INST.INI"),
                section, key, value, after, readBack.isNull() ? value : readBack);
    };

    row("new file", {}, "Onthouden", "Volume", "40", "[Onthouden]\nVolume=40\n");
    row("replace keeps the rest", "; settings\n[a]\nx=1\ny=2\n\n[b]\nz=3\n", "a", "x", "9",
        "; settings\n[a]\nx=9\ny=2\n\n[b]\nz=3\n");
    row("other spelling is the same key", "[Onthouden]\nLaatsteLandbestand=holland.txt\n", "ONTHOUDEN",
        "LaatsteLandBestand", "belgie.txt", "[Onthouden]\nLaatsteLandbestand=belgie.txt\n");
    row("new key at end of its section", "[a]\nx=1\n\n[b]\nz=3\n", "a", "y", "2", "[a]\nx=1\ny=2\n\n[b]\nz=3\n");
    row("new key in empty last section", "[a]\nx=1\n[b]\n", "b", "y", "2", "[a]\nx=1\n[b]\ny=2\n");
    row("new section appended", "[a]\nx=1", "Record", "dir", "/home/u/", "[a]\nx=1\n[Record]\ndir=/home/u/\n");
    row("CRLF kept", "[a]\r\nx=1\r\n", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n");
    row("BOM kept", "\xEF\xBB\xBF[a]\nx=1\n", "a", "x", "2", "\xEF\xBB\xBF[a]\nx=2\n");
    row("windows-1252 file becomes UTF-8", "[a]\nnaam=Caf\xE9\n", "a", "x", u"\u00E9"_s,
        "[a]\nnaam=Caf\xC3\xA9\nx=\xC3\xA9\n");
    row("non-ASCII", {}, "a", "x", u"Z\u00FCrich \u2013 \u0395\u03BB"_s,
        "[a]\nx=Z\xC3\xBCrich \xE2\x80\x93 \xCE\x95\xCE\xBB\n");
    row("line breaks in value", "[a]\n", "a", "x", "one\r\ntwo\nthree", "[a]\nx=one two three\n", "one two three");
    row("key of a later section not taken", "[a]\n[b]\nx=1\n", "a", "x", "2", "[a]\nx=2\n[b]\nx=1\n");
    const QString url = QStringLiteral("http://radio.example/listen?") + QString(4980, QLatin1Char('q'));
    row("long URL", {}, "a", "u", url, "[a]\nu=" + url.toUtf8() + "\n");

    // The existing file is updated under its own spelling; no second file appears.
    fileRow("existing lower-case file", "inst.ini", "[o]\nk=v\n", "INST.INI", "a", "x", "7", "[o]\nk=v\n[a]\nx=7\n",
            "7");
    fileRow("folder created", {}, {}, "favo/Radio 1", "Favoriet", "URL", "x", "[Favoriet]\nURL=x\n", "x");
}

void TestIniFile::write()
{
    QFETCH(QString, diskName);
    QFETCH(QByteArray, before);
    QFETCH(QString, writtenName);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QFETCH(QString, readBack);

    QTemporaryDir dir;
    if (!diskName.isEmpty())
        writeBytes(dir.filePath(diskName), before);
    const QString path = dir.filePath(writtenName);
    QCOMPARE(WriteINI(path, section, key, value), IniWriteResult::Ok);
    QCOMPARE(readBytes(dir.filePath(diskName.isEmpty() ? writtenName : diskName)), after);
    QCOMPARE(ReadINI(path, section.toLower(), key.toUpper()), readBack);
    if (!writtenName.contains(QLatin1Char('/')))
        QCOMPARE(filesIn(dir), QStringList {diskName.isEmpty() ? writtenName : diskName});
}

void TestIniFile::interruptedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("INST.INI"));
    const QByteArray old = "[Onthouden]\nLaatsteNAAM=Radio 1\nVolume=50\n";
    writeBytes(path, old);

    // Breaks off after half of the new content, as a full disk or a crash would.
    const auto halfWriter = [](QIODevice &device, const QByteArray &content) {
        device.write(content.left(content.size() / 2));
        return false;
    };
    QCOMPARE(WriteINI(path, QStringLiteral("Onthouden"), QStringLiteral("Volume"), QStringLiteral("80"), halfWriter),
             IniWriteResult::CannotWrite);
    QCOMPARE(readBytes(path), old);
    QCOMPARE(filesIn(dir), QStringList {QStringLiteral("INST.INI")});
}

void TestIniFile::invalidNames_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    const auto row = [](const char *tag, const QString &section, const QString &key) {
        QTest::newRow(tag) << section << key;
    };
    row("empty section", "", "k");
    row("empty key", "s", "  ");
    row("bracket in section", "a]b", "k");
    row("line break in section", "a\nb", "k");
    row("equals in key", "s", "a=b");
    row("key that is a section", "s", "[t]");
    row("key that is a comment", "s", ";k");
    row("line break in key", "s", "a\nb=c");
}

void TestIniFile::invalidNames()
{
    QFETCH(QString, section);
    QFETCH(QString, key);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    writeBytes(path, "[s]\nk=1\n");
    QCOMPARE(WriteINI(path, section, key, QStringLiteral("x")), IniWriteResult::InvalidName);
    QCOMPARE(readBytes(path), QByteArray("[s]\nk=1\n"));
}

void TestIniFile::languageTexts_data()
{
    QTest::addColumn<QByteArray>("langIni"); // empty: no file
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const QByteArray &file, const QString &language, const QString &key,
                        const QString &expected) {
        QTest::newRow(tag) << file << language << key << expected;
    };

    const QByteArray lang = "[Nederlands]\ncommand3b=Afspelen\nlabel3=\n[english]\ncommand3b=Play\n";
    row("dutch", lang, "Nederlands", "command3b", "Afspelen");
    row("english", lang, "english", "command3b", "Play");
    row("missing file", {}, "english", "command3b", "");
    row("missing section", lang, "Deutsch", "command3b", "");
    row("missing key", lang, "english", "label3", "");
    row("empty value", lang, "Nederlands", "label3", "");
    row("no language", lang, "", "command3b", "");
}

void TestIniFile::languageTexts()
{
    QFETCH(QByteArray, langIni);
    QFETCH(QString, language);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    if (!langIni.isEmpty())
        writeBytes(dir.filePath(QStringLiteral("lang.ini")), langIni);
    QString current = QStringLiteral("Nederlands");
    const LanguageTexts texts(dir.path(), [&] { return current; });
    (void)texts(key); // a lookup in another language first: nothing of it may stick
    current = language;
    QCOMPARE(texts(key), expected);
    QCOMPARE(TaalTekst(dir.path(), language, key), expected);

    // The file is read at every lookup: a replaced file is seen at once.
    writeBytes(dir.filePath(QStringLiteral("lang.ini")), "[" + language.toUtf8() + "]\n" + key.toUtf8() + "=new\n");
    QCOMPARE(texts(key), language.isEmpty() ? QString() : QStringLiteral("new"));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
