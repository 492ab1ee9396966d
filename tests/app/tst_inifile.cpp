#include "IniFile.h"
#include "LanguageTexts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
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
    void roundTrip_data();
    void roundTrip();
    void interruptedWriteKeepsOldFile();
    void invalidNames_data();
    void invalidNames();
    void languageTexts_data();
    void languageTexts();
    void languageSwitch();
};

void TestIniFile::read_data()
{
    QTest::addColumn<QString>("diskName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("askedName");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray inst = "[Online Radio]\ntaal=Nederlands\nskin=Standaard\n[Onthouden]\nVolume=50\n";
    const QString longValue = QString(250, QLatin1Char('u'));
    const QString veryLong = QStringLiteral("http://stream.example/") + QString(5000 - 22, QLatin1Char('x'));

    QTest::newRow("exact") << "INST.INI" << inst << "INST.INI"
                           << "Online Radio"
                           << "taal"
                           << "Nederlands";
    QTest::newRow("file name case") << "inst.ini" << inst << "INST.INI"
                                    << "Onthouden"
                                    << "Volume"
                                    << "50";
    QTest::newRow("section case") << "INST.INI" << inst << "INST.INI"
                                  << "online radio"
                                  << "skin"
                                  << "Standaard";
    QTest::newRow("key case") << "INST.INI" << inst << "INST.INI"
                              << "Onthouden"
                              << "volume"
                              << "50";
    QTest::newRow("key in other section") << "INST.INI" << inst << "INST.INI"
                                          << "Onthouden"
                                          << "taal"
                                          << "";
    QTest::newRow("missing key") << "INST.INI" << inst << "INST.INI"
                                 << "Onthouden"
                                 << "LaatsteURL"
                                 << "";
    QTest::newRow("missing section") << "INST.INI" << inst << "INST.INI"
                                     << "Record"
                                     << "dir"
                                     << "";
    QTest::newRow("missing file") << "INST.INI" << inst << "other.ini"
                                  << "Onthouden"
                                  << "Volume"
                                  << "";
    QTest::newRow("empty value") << "a.ini" << QByteArray("[s]\nk=\nk2=x\n") << "a.ini"
                                 << "s"
                                 << "k"
                                 << "";
    QTest::newRow("trailing blanks") << "a.ini" << QByteArray("[s]\nk=Radio 10  \t \n") << "a.ini"
                                     << "s"
                                     << "k"
                                     << "Radio 10";
    QTest::newRow("blanks around key") << "a.ini" << QByteArray("[ s ]\n   k  = v\n") << "a.ini"
                                       << "s"
                                       << "k"
                                       << "v";
    QTest::newRow("equals in value") << "a.ini" << QByteArray("[s]\nurl=http://h/p?a=1&b=2\n") << "a.ini"
                                     << "s"
                                     << "url"
                                     << "http://h/p?a=1&b=2";
    QTest::newRow("comment is no key") << "a.ini" << QByteArray("[s]\n;k=1\n") << "a.ini"
                                       << "s"
                                       << ";k"
                                       << "";
    QTest::newRow("250 characters") << "a.ini" << QByteArray("[s]\nk=" + longValue.toUtf8() + "\n") << "a.ini"
                                    << "s"
                                    << "k" << longValue;
    QTest::newRow("5000 characters") << "a.ini" << QByteArray("[s]\nk=" + veryLong.toUtf8() + "\n") << "a.ini"
                                     << "s"
                                     << "k" << veryLong;
    QTest::newRow("windows-1252") << "a.ini" << QByteArray("[s]\nk=Caf\xE9 \x80 \x93x\x94\n") << "a.ini"
                                  << "s"
                                  << "k" << QStringLiteral("Caf\u00E9 \u20AC \u201Cx\u201D");
    QTest::newRow("utf-8 with BOM, first section")
        << "a.ini" << QByteArray("\xEF\xBB\xBF[Nederlands]\nf5label2=Ge\xC3\xAFnstalleerd\n") << "a.ini"
        << "Nederlands"
        << "f5label2" << QStringLiteral("Ge\u00EFnstalleerd");
    QTest::newRow("CRLF") << "a.ini" << QByteArray("[s]\r\nk=v\r\nk2=w\r\n") << "a.ini"
                          << "s"
                          << "k"
                          << "v";
    QTest::newRow("no final line break") << "a.ini" << QByteArray("[s]\nk=last") << "a.ini"
                                         << "s"
                                         << "k"
                                         << "last";
    QTest::newRow("first of two sections") << "a.ini" << QByteArray("[s]\nk=1\n[t]\n[S]\nk=2\nj=3\n") << "a.ini"
                                           << "s"
                                           << "k"
                                           << "1";
    QTest::newRow("first of two keys") << "a.ini" << QByteArray("[s]\nK=1\nk=2\n") << "a.ini"
                                       << "s"
                                       << "k"
                                       << "1";
}

void TestIniFile::read()
{
    QFETCH(QString, diskName);
    QFETCH(QByteArray, content);
    QFETCH(QString, askedName);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeBytes(dir.filePath(diskName), content);
    QCOMPARE(ReadINI(dir.path() + QLatin1Char('/') + askedName, section, key), expected);
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before"); // "<missing>": no file
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray("<missing>") << "Onthouden"
                              << "Volume"
                              << "40" << QByteArray("[Onthouden]\nVolume=40\n");
    QTest::newRow("replace keeps the rest") << QByteArray("; settings\n[a]\nx=1\ny=2\n\n[b]\nz=3\n") << "a"
                                            << "x"
                                            << "9" << QByteArray("; settings\n[a]\nx=9\ny=2\n\n[b]\nz=3\n");
    QTest::newRow("other spelling is the same key")
        << QByteArray("[Onthouden]\nLaatsteLandbestand=holland.txt\n") << "ONTHOUDEN"
        << "LaatsteLandBestand"
        << "belgie.txt" << QByteArray("[Onthouden]\nLaatsteLandbestand=belgie.txt\n");
    QTest::newRow("new key at end of its section") << QByteArray("[a]\nx=1\n\n[b]\nz=3\n") << "a"
                                                   << "y"
                                                   << "2" << QByteArray("[a]\nx=1\ny=2\n\n[b]\nz=3\n");
    QTest::newRow("new key in empty last section") << QByteArray("[a]\nx=1\n[b]\n") << "b"
                                                   << "y"
                                                   << "2" << QByteArray("[a]\nx=1\n[b]\ny=2\n");
    QTest::newRow("new section appended") << QByteArray("[a]\nx=1") << "Record"
                                          << "dir"
                                          << "/home/u/" << QByteArray("[a]\nx=1\n[Record]\ndir=/home/u/\n");
    QTest::newRow("CRLF kept") << QByteArray("[a]\r\nx=1\r\n") << "a"
                               << "y"
                               << "2" << QByteArray("[a]\r\nx=1\r\ny=2\r\n");
    QTest::newRow("BOM kept") << QByteArray("\xEF\xBB\xBF[a]\nx=1\n") << "a"
                              << "x"
                              << "2" << QByteArray("\xEF\xBB\xBF[a]\nx=2\n");
    QTest::newRow("windows-1252 file becomes UTF-8") << QByteArray("[a]\nnaam=Caf\xE9\n") << "a"
                                                     << "x"
                                                     << "\u00E9" << QByteArray("[a]\nnaam=Caf\xC3\xA9\nx=\xC3\xA9\n");
    QTest::newRow("line breaks in value") << QByteArray("[a]\n") << "a"
                                          << "x"
                                          << "one\r\ntwo\nthree" << QByteArray("[a]\nx=one two three\n");
    QTest::newRow("key of a later section not taken") << QByteArray("[a]\n[b]\nx=1\n") << "a"
                                                      << "x"
                                                      << "2" << QByteArray("[a]\nx=2\n[b]\nx=1\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("INST.INI"));
    if (before != "<missing>")
        writeBytes(path, before);
    QCOMPARE(WriteINI(path, section, key, value), IniWriteResult::Ok);
    QCOMPARE(readBytes(path), after);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("INST.INI")});
}

void TestIniFile::roundTrip_data()
{
    QTest::addColumn<QString>("diskName"); // existing file, or empty
    QTest::addColumn<QString>("writtenName");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    const QString url = QStringLiteral("http://radio.example/listen?") + QString(4980, QLatin1Char('q'));
    QTest::newRow("long URL") << ""
                              << "INST.INI" << url << url;
    QTest::newRow("trailing blanks dropped") << ""
                                             << "INST.INI"
                                             << "Radio 538   "
                                             << "Radio 538";
    QTest::newRow("non-ASCII") << ""
                               << "INST.INI"
                               << "Radio Zürich – Ελληνικά"
                               << "Radio Zürich – Ελληνικά";
    QTest::newRow("existing lower-case file") << "inst.ini"
                                              << "INST.INI"
                                              << "7"
                                              << "7";
    QTest::newRow("folder created") << ""
                                    << "favo/Radio 1"
                                    << "x"
                                    << "x";
}

void TestIniFile::roundTrip()
{
    QFETCH(QString, diskName);
    QFETCH(QString, writtenName);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!diskName.isEmpty())
        writeBytes(dir.filePath(diskName), "[Other]\nk=v\n");
    const QString path = dir.filePath(writtenName);
    QCOMPARE(WriteINI(path, QStringLiteral("Onthouden"), QStringLiteral("LaatsteURL"), value), IniWriteResult::Ok);
    QCOMPARE(ReadINI(path, QStringLiteral("onthouden"), QStringLiteral("laatsteurl")), expected);
    if (!diskName.isEmpty()) {
        // The existing file was updated; no second file of another spelling appeared.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {diskName});
        QCOMPARE(ReadINI(path, QStringLiteral("Other"), QStringLiteral("k")), QStringLiteral("v"));
    }
}

void TestIniFile::interruptedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
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
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("INST.INI")});
    QCOMPARE(ReadINI(path, QStringLiteral("Onthouden"), QStringLiteral("Volume")), QStringLiteral("50"));
}

void TestIniFile::invalidNames_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    QTest::newRow("empty section") << ""
                                   << "k";
    QTest::newRow("empty key") << "s"
                               << "  ";
    QTest::newRow("bracket in section") << "a]b"
                                        << "k";
    QTest::newRow("line break in section") << "a\nb"
                                           << "k";
    QTest::newRow("equals in key") << "s"
                                   << "a=b";
    QTest::newRow("key that is a section") << "s"
                                           << "[t]";
    QTest::newRow("key that is a comment") << "s"
                                           << ";k";
    QTest::newRow("line break in key") << "s"
                                       << "a\nb=c";
}

void TestIniFile::invalidNames()
{
    QFETCH(QString, section);
    QFETCH(QString, key);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    writeBytes(path, "[s]\nk=1\n");
    QCOMPARE(WriteINI(path, section, key, QStringLiteral("x")), IniWriteResult::InvalidName);
    QCOMPARE(readBytes(path), QByteArray("[s]\nk=1\n"));
}

void TestIniFile::languageTexts_data()
{
    QTest::addColumn<QByteArray>("langIni"); // "<missing>": no file
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray lang = "[Nederlands]\ncommand3b=Afspelen\nlabel3=\n[english]\ncommand3b=Play\n";
    QTest::newRow("dutch") << lang << "Nederlands"
                           << "command3b"
                           << "Afspelen";
    QTest::newRow("english") << lang << "english"
                             << "command3b"
                             << "Play";
    QTest::newRow("missing file") << QByteArray("<missing>") << "english"
                                  << "command3b"
                                  << "";
    QTest::newRow("missing section") << lang << "Deutsch"
                                     << "command3b"
                                     << "";
    QTest::newRow("missing key") << lang << "english"
                                 << "label3"
                                 << "";
    QTest::newRow("empty value") << lang << "Nederlands"
                                 << "label3"
                                 << "";
    QTest::newRow("no language") << lang << ""
                                 << "command3b"
                                 << "";
}

void TestIniFile::languageTexts()
{
    QFETCH(QByteArray, langIni);
    QFETCH(QString, language);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (langIni != "<missing>")
        writeBytes(dir.filePath(QStringLiteral("lang.ini")), langIni);
    const LanguageTexts texts(dir.path(), [&] { return language; });
    QCOMPARE(texts.TaalTekst(key), expected);
    QCOMPARE(TaalTekst(dir.path(), language, key), expected);
}

void TestIniFile::languageSwitch()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString langPath = dir.filePath(QStringLiteral("lang.ini"));
    writeBytes(langPath, "[Nederlands]\ncommand3=Stop\ncommand3c=Bezig...\n[english]\ncommand3c=Connecting...\n");

    QString language = QStringLiteral("Nederlands");
    const LanguageTexts texts(dir.path(), [&] { return language; });
    QCOMPARE(texts(QStringLiteral("command3c")), QStringLiteral("Bezig..."));
    language = QStringLiteral("english");
    QCOMPARE(texts(QStringLiteral("command3c")), QStringLiteral("Connecting..."));
    QCOMPARE(texts(QStringLiteral("command3")), QString());

    // The file is read at every lookup: a replaced file is seen at once.
    writeBytes(langPath, "[english]\ncommand3c=Tuning in...\n");
    QCOMPARE(texts(QStringLiteral("command3c")), QStringLiteral("Tuning in..."));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
