#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestIniFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data()
    {
        // The file asked for is INST.INI and inst.ini; after a "|", names on disk beside it
        // that hold Volume=99.
        QTest::addColumn<QString>("diskName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, const QString &disk, const QByteArray &content, const QString &section,
                            const QString &key, const QString &expected) {
            QTest::newRow(tag) << disk << content << section << key << expected;
        };

        const QByteArray inst = "[Online Radio]\ntaal=Nederlands\n[Onthouden]\nVolume=50\n";
        const QString veryLong = QStringLiteral("http://stream.example/") + QString(4978, QLatin1Char('x'));
        row("file name case", "inst.ini", inst, "Onthouden", "Volume", "50");
        row("section case", "INST.INI", inst, "online radio", "taal", "Nederlands");
        row("key case", "INST.INI", inst, "Onthouden", "volume", "50");
        row("key in other section", "INST.INI", inst, "Onthouden", "taal", "");
        row("missing section", "INST.INI", inst, "Record", "dir", "");
        row("missing file", "other.ini", inst, "Onthouden", "Volume", "");
        row("empty value", "INST.INI", "[s]\nk=\nk2=x\n", "s", "k", "");
        row("trailing blanks", "INST.INI", "[s]\nk=Radio 10  \t \n", "s", "k", "Radio 10");
        row("blanks around names", "INST.INI", "[ s ]\n   k  = v\n", "s", "k", "v");
        row("blanks around the names asked for", "INST.INI", "[s]\nk=v\n", " s\t", "k\r", "v"); // found by fuzz_ini
        row("equals in value", "INST.INI", "[s]\nurl=http://h/p?a=1&b=2\n", "s", "url", "http://h/p?a=1&b=2");
        row("comment is no key", "INST.INI", "[s]\n;k=1\n", "s", ";k", "");
        row("5000 characters", "INST.INI", "[s]\nk=" + veryLong.toUtf8() + "\n", "s", "k", veryLong);
        row("windows-1252", "INST.INI", "[s]\nk=Caf\xE9 \x80 \x93x\x94\n", "s", "k",
            u"Caf\u00E9 \u20AC \u201Cx\u201D"_s);
        row("utf-8 with BOM, first section", "INST.INI", "\xEF\xBB\xBF[Nl]\nf5=Ge\xC3\xAFnstalleerd\n", "Nl", "f5",
            u"Ge\u00EFnstalleerd"_s);
        row("windows-1252 line among UTF-8", "INST.INI", "[s]\nj=Caf\xE9\nk=Caf\xC3\xA9\n", "s", "k", u"Caf\u00E9"_s);
        row("BOM and a windows-1252 line", "INST.INI", "\xEF\xBB\xBF[s]\nk=Caf\xE9\n", "s", "k", u"Caf\u00E9"_s);
        row("two spellings on disk", "INST.INI|inst.ini", inst, "Onthouden", "Volume", "50");
        row("CRLF", "INST.INI", "[s]\r\nk=v\r\nk2=w\r\n", "s", "k", "v");
        row("no final line break", "INST.INI", "[s]\nk=last", "s", "k", "last");
        row("first of two sections", "INST.INI", "[s]\nk=1\n[t]\n[S]\nk=2\nj=3\n", "s", "k", "1");
        row("first of two keys", "INST.INI", "[s]\nK=1\nk=2\n", "s", "k", "1");
    }

    void read()
    {
        QFETCH(QString, diskName);
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        const QStringList names = diskName.split(u'|');
        writeBytes(dir.filePath(names.first()), content);
        for (const QString &other : names.mid(1))
            writeBytes(dir.filePath(other), "[Onthouden]\nVolume=99\n");
        QCOMPARE(ReadINI(dir.filePath("INST.INI"), section, key), expected);
        QCOMPARE(ReadINI(dir.filePath("inst.ini"), section, key), expected);
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: neither the file nor its folder exists
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("readBack");
        const auto row = [](const char *tag, const QByteArray &before, const QString &section, const QString &key,
                            const QString &value, const QByteArray &after, const QString &readBack = {}) {
            QTest::newRow(tag) << before << section << key << value << after << (readBack.isNull() ? value : readBack);
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
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);

        // An existing file spelt otherwise is updated under its own name, not joined by a second.
        QTemporaryDir dir;
        const QString folder = before.isNull() ? dir.filePath("favo") : dir.path();
        const QString onDisk = before.isNull() ? QStringLiteral("INST.INI") : QStringLiteral("inst.ini");
        if (!before.isNull())
            writeBytes(folder + u'/' + onDisk, before);
        const QString path = folder + "/INST.INI";
        QCOMPARE(WriteINI(path, section, key, value), IniWriteResult::Ok);
        QTEST(readBytes(folder + u'/' + onDisk), "after");
        QTEST(ReadINI(path, section.toLower(), key.toUpper()), "readBack");
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {onDisk});
    }

    void failedWriteKeepsOldFile_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<IniWriteResult>("result");
        const auto row = [](const char *tag, const QString &section, const QString &key, IniWriteResult result) {
            QTest::newRow(tag) << section << key << result;
        };
        // Breaks off half-way, as a full disk or a crash would.
        row("interrupted before the rename", "Onthouden", "Volume", IniWriteResult::CannotWrite);
        row("empty section", "", "k", IniWriteResult::InvalidName);
        row("line break in section", "a\nb", "k", IniWriteResult::InvalidName);
        row("equals in key", "Onthouden", "a=b", IniWriteResult::InvalidName);
        row("key that is a comment", "Onthouden", ";k", IniWriteResult::InvalidName);
    }

    void failedWriteKeepsOldFile()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);

        QTemporaryDir dir;
        const QString path = dir.filePath("INST.INI");
        const QByteArray old = "[Onthouden]\nLaatsteNAAM=Radio 1\nVolume=50\n";
        writeBytes(path, old);
        const auto halfWriter = [](QIODevice &device, const QByteArray &content) {
            device.write(content.left(content.size() / 2));
            return false;
        };
        QTEST(WriteINI(path, section, key, "80", halfWriter), "result");
        QCOMPARE(readBytes(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"INST.INI"});
    }

    // The one leftover a killed writer can leave: a finished version not yet renamed.
    void leftoverOfAKilledWriterIsRemoved()
    {
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        QTemporaryDir dir;
        // Temporary files are named after a digest of the target's name.
        const auto key = [](const char *name) {
            return QCryptographicHash::hash(QByteArray(name).toLower(), QCryptographicHash::Md5).toHex().left(16);
        };
        const QString leftover = QStringLiteral(".%1.%2.norvale-tmp").arg(key("INST.INI")).arg(gone);
        const QString otherFile = QStringLiteral(".%1.%2.norvale-tmp").arg(key("lang.ini")).arg(gone);
        writeBytes(dir.filePath(leftover), "[Onthouden]\nVolume=");
        writeBytes(dir.filePath(otherFile), "[english]\n");
        QCOMPARE(WriteINI(dir.filePath("INST.INI"), "Onthouden", "Volume", "80"), IniWriteResult::Ok);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList {otherFile, "INST.INI"}));
    }

    // Each step: "language=its text", or "rewrite" (the file changes on disk). The language is
    // asked at every lookup; its section is read once, and the file again when it changes.
    void languageTexts()
    {
        QTemporaryDir dir;
        QString language;
        const LanguageTexts texts(dir.path(), [&] { return language; });
        writeBytes(dir.filePath("LANG.INI"), "[Nederlands]\ncommand3b=Afspelen\n[english]\ncommand3b=Play\n");
        for (const char *step : {"Nederlands=Afspelen", "english=Play", "Deutsch=", "english=Play", "rewrite",
                                 "english=Play", "Nederlands=", "english=Listen"}) {
            if (qstrcmp(step, "rewrite") == 0) {
                writeBytes(dir.filePath("LANG.INI"), "[english]\ncommand3b=Listen\n");
                continue;
            }
            language = QString::fromLatin1(step).section(u'=', 0, 0);
            QCOMPARE(texts(QStringLiteral("command3b")), QString::fromLatin1(step).section(u'=', 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
