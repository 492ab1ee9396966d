#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "player/CurrentStation.h"
#include "player/Favourites.h"
#include "player/FavouritesList.h"
#include "player/LastStation.h"
#include "player/Playlist.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QMessageBox>
#include <QtTest>

class TestFavourites : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostileNamesRoundTrip_data()
    {
        QTest::addColumn<QString>("naam");
        QTest::newRow("slash") << QStringLiteral("AC/DC radio");
        QTest::newRow("path climb") << QStringLiteral("../../INST.INI");
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("leading dot") << QStringLiteral(".hidden FM");
        QTest::newRow("NUL") << QString::fromUtf16(u"a\0b", 3);
        QTest::newRow("escape look-alike") << QStringLiteral("100%2F FM %");
        QTest::newRow("300 characters") << QStringLiteral("x").repeated(300);
        QTest::newRow("emoji over 255 bytes") << QStringLiteral("\U0001F4FB").repeated(80);
        QTest::newRow("multi-byte at the cut") << QStringLiteral("é").repeated(200) + QLatin1Char('/');
    }

    // Each name becomes one file inside favo/ that the file system takes, and comes back whole from list and load.
    void hostileNamesRoundTrip()
    {
        QFETCH(QString, naam);
        QTemporaryDir home;
        const Favourites store(home.path());
        QString fileName;
        QCOMPARE(
            store.add(naam, QStringLiteral("http://s.example/live"), QStringLiteral("http://s.example/"), &fileName),
            FavouriteError::None);
        QVERIFY(fileName.toUtf8().size() <= 255);
        QVERIFY(!fileName.startsWith(QLatin1Char('.')));
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files | QDir::Hidden), QStringList {fileName});
        QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList {}); // nothing escaped the folder

        const QList<Favourite> listed = store.list();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().naam, naam);
        QCOMPARE(listed.first().fileName, fileName);
        FavouriteError error = FavouriteError::NotFound;
        const Favourite loaded = store.load(fileName, &error);
        QCOMPARE(error, FavouriteError::None);
        QCOMPARE(loaded.naam, naam);
        QCOMPARE(loaded.url, QStringLiteral("http://s.example/live"));
        if (naam.toUtf8().size() <= Favourites::kMaxFileNameBytes - 20)
            QCOMPARE(Favourites::nameFromFileName(fileName), naam);
    }

    void sameNamesAndPlaylistRoundTrip_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("M3U") << "out.m3u";
        QTest::newRow("PLS") << "out.pls";
    }

    // A same name overwrites (an older file too, whatever its case), long names stay apart,
    // and the whole list goes through a playlist file into another folder and comes back the same.
    void sameNamesAndPlaylistRoundTrip()
    {
        QFETCH(QString, fileName);
        QTemporaryDir home, to;
        const Favourites store(home.path()), target(to.path());
        // Older installations named files after the station, "%" unescaped; "50%2F50" is also the escaped "50/50".
        writeBytes(store.folder() + "/100% NL", "[Internet]\nnaam=100% NL\n");
        writeBytes(store.folder() + "/50%2F50", "[Internet]\nnaam=50/50\nurl=http://fifty/\n");
        for (const auto &[naam, url] : {std::pair<QString, QString> {"Jazz", "http://old/"},
                                        {"JAZZ", "http://new/"},
                                        {"100% NL", "http://pct/"},
                                        {"50%2F50", "http://lookalike/"},
                                        {"Café, FM", "https://h.example/?a=1&b=2"},
                                        {"[playlist]", "http://p/"},
                                        {"#EXTINF:-1,x", "http://e/"}})
            QCOMPARE(store.add(naam, url, {}), FavouriteError::None);
        const auto listed = [](const Favourites &favourites) {
            QStringList out;
            for (const Favourite &f : favourites.list())
                out << f.naam.right(12) + QLatin1Char(' ') + f.url;
            return out;
        };
        const QString path = home.filePath(fileName);
        QCOMPARE(store.exportPlaylist(path, playlistFormatForFileName(path)), FavouriteError::None);
        const PlaylistImportResult result = target.importPlaylist(path);
        QCOMPARE(result.added, 7);
        QCOMPARE(result.refused, 0);
        QCOMPARE(listed(target), listed(store));
        for (const char last : {'B', 'A'})
            QCOMPARE(store.add(QString(400, u'y') + last, QStringLiteral("http://%1/").arg(QChar(last).toLower()), {}),
                     FavouriteError::None);
        QCOMPARE(listed(store),
                 (QStringList {"#EXTINF:-1,x http://e/", "100% NL http://pct/", "50%2F50 http://lookalike/",
                               "50/50 http://fifty/", "[playlist] http://p/", "Café, FM https://h.example/?a=1&b=2",
                               "JAZZ http://new/", "yyyyyyyyyyyA http://a/", "yyyyyyyyyyyB http://b/"}));
    }

    void importRefusesHostileEntries_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries"); // "title|url"
        QTest::addColumn<int>("refused");
        QTest::newRow("extended M3U, CRLF, BOM")
            << QByteArray("\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:-1,Radio Een\r\nhttp://one.example/live\r\n"
                          "#EXTINF:-1 tvg-id=\"x\",Twee, met komma\r\nHTTPS://two.example/\r\n")
            << QStringList {"Radio Een|http://one.example/live", "Twee, met komma|HTTPS://two.example/"} << 0;
        QTest::newRow("relative, local and script entries")
            << QByteArray("stream.mp3\n/etc/passwd\nfile:///etc/passwd\njavascript:alert(1)\n"
                          "ftp://x.example/a\nhttp://\nhttp://ok.example/\n")
            << QStringList {"|http://ok.example/"} << 6;
        QTest::newRow("title does not leak to the next entry")
            << QByteArray("#EXTINF:0,Eerste\r\nrelatief.mp3\nhttp://n.example/\n") << QStringList {"|http://n.example/"}
            << 1;
        QTest::newRow("PLS out of order, missing title, control characters")
            << QByteArray("[playlist]\r\nTitle2=Twee\x01\x1b[31m\r\nFile2=http://two.example/\r\nFile1=http://one."
                          "example/\r\nFile3=rtsp://three.example/\r\nTitle9=orphan\r\nNumberOfEntries=3\r\n")
            << QStringList {"|http://one.example/", "Twee [31m|http://two.example/"} << 1;
        QTest::newRow("address too long")
            << QByteArray("http://l.example/" + QByteArray(3000, 'a') + "\n") << QStringList {} << 1;
    }

    void importRefusesHostileEntries()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QFETCH(int, refused);
        const PlaylistParseResult parsed = parsePlaylist(bytes);
        QStringList got;
        for (const PlaylistEntry &e : parsed.entries)
            got << e.title + QLatin1Char('|') + e.url;
        QCOMPARE(got, entries);
        QCOMPARE(parsed.refused, refused);
    }

    void listWidgetAddsPlaysAndDeletes()
    {
        QTemporaryDir home;
        QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), home.filePath(QStringLiteral("lang.ini")));
        const LanguageTexts texts(home.path(), [] { return QStringLiteral("Nederlands"); });
        FavouritesList::Station current {QStringLiteral("Zeta/FM"), QStringLiteral("http://z/"),
                                         QStringLiteral("http://z.home/")};
        FavouritesList list(texts, [&] { return current; });
        QVERIFY(list.setPath(home.path())); // creates favo/
        list.Command2_Click();
        QTRY_VERIFY(list.findChild<QMessageBox *>(QStringLiteral("message_error13")));
        delete list.findChild<QMessageBox *>(QStringLiteral("message_error13"));
        list.Command1_Click();
        current.naam = QStringLiteral("alpha");
        list.Command1_Click();
        QCOMPARE((QStringList {list.item(0)->text(), list.item(1)->text()}), (QStringList {"alpha", "Zeta/FM"}));

        QSignalSpy play(&list, &FavouritesList::playFavourite);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(1)).center());
        QCOMPARE(play.size(), 1);
        QCOMPARE(play.first(), (QVariantList {"Zeta/FM", "http://z/", "http://z.home/"}));
        list.Command2_Click();
        QVERIFY(list.count() == 1 && Favourites(home.path()).list().size() == 1); // gone from both at once
        current.naam.clear();
        list.Command1_Click();
        QTRY_VERIFY(list.findChild<QMessageBox *>(QStringLiteral("message_error11")));
    }

    void restoreOrder_data()
    {
        QTest::addColumn<QByteArray>("ini"); // INST.INI; empty: the shipped one of a fresh folder
        QTest::addColumn<int>("failures"); // of the favourites step, one a tick
        QTest::addColumn<QStringList>("effects");
        const auto ini = [](QByteArray online, QByteArray remembered) {
            return "[Online Radio]\n" + online.replace(' ', '\n') + "\n[Onthouden]\n" + remembered.replace(' ', '\n');
        };
        const QByteArray station =
            " LaatsteURL=http://u/ LaatsteNAAM=N LaatsteLandNaam=Belgie LaatsteLandbestand=belgie.txt";
        const QStringList middle {"land Belgie ", "land Belgie belgie.txt", "naam N"};
        QTest::newRow("afspelen 1 plays once, window")
            << ini("afspelen=1 grootscherm=1", "Volume=35" + station) << 0
            << QStringList {"url http://u/"} + middle + QStringList {"volume 35", "report zender_http://u/", "show"};
        QTest::newRow("afspelen 0 sets then stops, tray")
            << ini("afspelen=0 grootscherm=0", "Volume=35" + station) << 0
            << middle + QStringList {"volume 35", "url http://u/", "report zender_http://u/", "stop", "tray"};
        QTest::newRow("afspelen empty plays, volume missing")
            << ini("grootscherm=yes", station) << 0
            << middle + QStringList {"volume 50", "url http://u/", "report zender_http://u/", "tray"};
        QTest::newRow("volume not a number")
            << ini("afspelen=1 grootscherm=1", "Volume=abc" + station) << 0
            << QStringList {"url http://u/"} + middle + QStringList {"volume 50", "report zender_http://u/", "show"};
        const QStringList fresh {"land Holland ", "land Holland holland.txt", "naam ", "volume 50", "show"};
        QTest::newRow("shipped INST.INI: no station, nothing to report, no error") << QByteArray() << 0 << fresh;
        QTest::newRow("volume out of range")
            << ini("grootscherm=1", "Volume=250") << 0 << QStringList {"naam ", "volume 100", "show"};
        // Retried from the failing step: the stream is set once; error17 on the twelfth failure, as it always was.
        QTest::newRow("favourites step failing 13 times")
            << ini("afspelen=1", "LaatsteURL=http://u/") << 13
            << QStringList {"url http://u/", "naam ", "volume 50", "report zender_http://u/", "tray", "error error17"};
    }

    // One tick runs every step in order; nothing is started twice.
    void restoreOrder()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, failures);
        QFETCH(QStringList, effects);
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("INST.INI"));
        if (ini.isEmpty())
            QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/INST.INI"), path);
        else
            writeBytes(path, ini);
        QStringList log;
        QString playerUrl;
        Watched watched(log);
        LastStation::Hooks h = hooks(log, playerUrl);
        h.setFavouritesPath = [failing = failures, favourites = h.setFavouritesPath](const QString &folder) mutable {
            return --failing < 0 && favourites(folder);
        };
        LastStation restore(home.path(), &watched.station, h);
        restore.start();
        for (int tick = failures; tick > 0; --tick) {
            restore.onTimer3();
            QVERIFY(restore.isActive());
        }
        QCOMPARE(restore.failureCount(), failures % 12);
        restore.onTimer3();
        QVERIFY(restore.isDone());
        QVERIFY(!restore.isActive());
        QCOMPARE(restore.failureCount(), 0);
        QCOMPARE(log, effects + QStringList {"favo"});
        QVERIFY(QFileInfo(home.filePath(QStringLiteral("favo"))).isDir());
    }

private:
    // The remembered station and country, logged as the window's views would show each change.
    struct Watched
    {
        CurrentStation station {{"*"}, {}, {}};
        explicit Watched(QStringList &log)
        {
            QObject::connect(&station, &CurrentStation::stationChanged, &station,
                             [&] { log << "naam " + station.name(); });
            QObject::connect(&station, &CurrentStation::countryChanged, &station,
                             [&] { log << "land " + station.country().name + ' ' + station.country().listFile; });
        }
    };
    static LastStation::Hooks hooks(QStringList &log, QString &playerUrl)
    {
        const auto rec = [&log](const char *what) {
            return [&log, what](const auto &...value) {
                log << QStringList {what, QVariant(value).toString()...}.join(u' ');
            };
        };
        return {
            .setUrl = [&playerUrl, rec](const QString &url) { playerUrl = url, rec("url")(url); },
            .playerUrl = [&] { return playerUrl; },
            .setVolume = rec("volume"),
            .setVerstuurMelding = rec("report"),
            .stop = rec("stop"),
            .showWindow = rec("show"),
            .goToTray = rec("tray"),
            .setFavouritesPath =
                [&](const QString &folder) { return log << "favo", Favourites(folder).ensureFolder(); },
            .showError = rec("error"),
        };
    }
};

QTEST_MAIN(TestFavourites)
#include "tst_favourites.moc"
