// Catalogue import, the tagged-field writer and the snapshot, without a database.

#include "ServerTestSupport.h"
#include "catalogue/BodyFile.h"
#include "catalogue/CountryNames.h"
#include "catalogue/Importer.h"
#include "catalogue/Snapshot.h"
#include "catalogue/StationLogos.h"
#include "catalogue/TagWriter.h"
#include "directory/TagParser.h"

#include <QFile>
#include <QImage>
#include <QtEndian>
#include <QtTest>
#include <unistd.h>
#include <zlib.h>

namespace {

QStringList names(const QList<const CatalogueStation *> &stations)
{
    QStringList out;
    for (const CatalogueStation *s : stations)
        out.append(s->name);
    return out;
}

StationListText stationList(const CatalogueSnapshot &snapshot, const QString &bestand)
{
    return parseStationList(QString::fromUtf8(snapshot.stationList(bestand)->body));
}

// The PNG's header made to claim other dimensions, with a valid checksum.
QByteArray claimingSize(QByteArray png, quint32 width, quint32 height)
{
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(png.constData() + 12), 17)), png.data() + 29);
    return png;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The whole shared export, and every list served from it read back by the player's parser.
    void sharedCsv()
    {
        const QString file = QStringLiteral(NORVALE_SHARED_DATA "/stations/stations.csv");
        if (!QFile::exists(file))
            QSKIP("shared station data not found next to the checkout (../shared/data/stations)");
        const Importer::Result r = Importer::readFile(file);
        QVERIFY2(r.status.ok(), qPrintable(r.status.message));
        // Three rows carry no valid URL ("${Date.now()}" left in a query, a "|" in a path).
        QCOMPARE((QList<qsizetype> {r.stations.size(), r.skipped, r.countries.size()}),
                 (QList<qsizetype> {33637, 3, 51}));
        QHash<QString, QSet<QString>> urlsByCountry;
        for (const CatalogueStation &s : r.stations) {
            QCOMPARE(s.urlMd5.size(), 32);
            QVERIFY(!s.uuid.isEmpty());
            urlsByCountry[s.countryCode].insert(s.url);
        }
        const auto snapshot = buildSnapshot(r.stations, r.countries);
        for (const Language language : {Language::Dutch, Language::English}) {
            const CountryListText countries = parseCountryList(QString::fromUtf8(snapshot->countryList(language).body));
            QCOMPARE(QSet<QString>(countries.bestand.cbegin(), countries.bestand.cend()).size(), 51);
            for (int i = 0; i < countries.bestand.size(); ++i) {
                const CatalogueCountry *c = snapshot->countryByBestand(countries.bestand.at(i));
                QVERIFY(c && countries.naam.at(i) == (language == Language::Dutch ? c->nameDutch : c->nameEnglish));
                const StationListText list = stationList(*snapshot, c->bestand);
                QCOMPARE(list.naam.size(), c->stationCount);
                QCOMPARE(QSet<QString>(list.url.cbegin(), list.url.cend()), urlsByCountry.value(c->code));
                // Sent from the body file: each body whole, from a page boundary (an unaligned one
                // costs the kernel a second, paced send per push).
                const ListBody *served = snapshot->stationList(c->bestand);
                QVERIFY(served->file && served->bodyAt % 4096 == 0 && served->gzipAt % 4096 == 0);
                QByteArray sent(served->body.size(), '\0');
                QCOMPARE(::pread(served->file->fd(), sent.data(), sent.size(), served->bodyAt), sent.size());
                QCOMPARE(sent, served->body);
            }
        }
        const CountryListText dutch = parseCountryList(QString::fromUtf8(snapshot->countryList(Language::Dutch).body));
        QVERIFY(dutch.naam.indexOf("België") < dutch.naam.indexOf("Bosnië en Herzegovina"));
        QCOMPARE(dutch.naam.last(), QStringLiteral("Zwitserland"));
    }

    void csvRecords_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("expectedNames");
        QTest::addColumn<int>("skipped");
        const auto row = [](const char *name, const QByteArray &rows, const QStringList &names, int skipped = 0) {
            QTest::newRow(name) << "country_code,name,url,homepage,tags,votes\n" + rows << names << skipped;
        };
        row("quoted comma and quote", "NL,\"Radio \"\"Één\"\", Zwolle\",http://a.example/,,\"pop,rock\",3\n",
            {QStringLiteral("Radio \"Één\", Zwolle")});
        row("line break inside quotes is flattened", "NL,\"Twee\nregels\tmet tab\",http://a.example/\n",
            {"Twee regels met tab"});
        QTest::newRow("CRLF and BOM") << QByteArray("\xEF\xBB\xBF"
                                                    "country_code,name,url\r\nNL,Een,http://a.example/1\r\n"
                                                    "BE,Twee,https://b.example/2\r\n")
                                      << QStringList {"Een", "Twee"} << 0;
        row("unusable URLs skipped",
            "NL,Ftp,ftp://a.example/\nNL,Js,javascript:alert(1)\nNL,Bare,http:host\nNL,Empty,\n"
            "NL,Blank,http://a.example/with space\nNL,Angle,http://a.example/<b>\nNL,Good,HTTP://A.example/x\n",
            {"Good"}, 6);
        row("no country or no name skipped",
            "N1,Digit,http://a.example/1\n,None,http://a.example/2\nNL,,http://a.example/3\nnl,Lower,http://a.example/"
            "4\n",
            {"Lower"}, 3);
        row("invalid UTF-8 becomes replacement characters", "NL,Caf\xC3\x28 \xFF,http://a.example/\n",
            {QStringLiteral("Caf\uFFFD( \uFFFD")});
        row("short rows and blank lines", "\nNL,Kort,http://a.example/\n\n", {"Kort"});
    }

    void csvRecords()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, expectedNames);
        QFETCH(int, skipped);
        const Importer::Result r = Importer::readData(csv);
        QVERIFY2(r.status.ok(), qPrintable(r.status.message));
        QStringList got;
        for (const CatalogueStation &s : r.stations)
            got.append(s.name);
        QCOMPARE(got, expectedNames);
        QCOMPARE(r.skipped, skipped);
    }

    void bestand_data()
    {
        QTest::addColumn<QStringList>("names"); // code, list file, Dutch name
        QTest::newRow("lower-case code") << QStringList {"be", "belgium.txt", "België"};
        QTest::newRow("accents and apostrophe") << QStringList {"CI", "cotedivoire.txt", "Ivoorkust"};
        QTest::newRow("blanks removed") << QStringList {"GB", "unitedkingdom.txt", "Verenigd Koninkrijk"};
        QTest::newRow("Türkiye") << QStringList {"TR", "turkiye.txt", "Turkije"};
        QTest::newRow("local demo") << QStringList {"ZZ", "lokaal.txt", "Lokale demo"};
        QTest::newRow("unknown code falls back") << QStringList {"QQ", "qq.txt", "QQ"};
    }

    void bestand()
    {
        QFETCH(QStringList, names);
        const CountryNames::Names n = CountryNames::namesFor(names[0]);
        QCOMPARE((QStringList {names[0], CountryNames::bestandFor(names[0], n.english), n.dutch}), names);
    }

    void valuesNeverBreakTheFormat_data()
    {
        QTest::addColumn<QStringList>("fields"); // name, url, homepage
        QTest::addColumn<QStringList>("expected"); // name, homepage
        QTest::newRow("closing tags in all fields")
            << QStringList {"Evil</naam><naam>Injected", "http://a.example/?q=</url>", "https://site.example/<p>"}
            << QStringList {"Evil‹/naam›‹naam›Injected", "site.example/‹p›"};
        QTest::newRow("line breaks and tabs")
            << QStringList {"Een\r\nTwee\tDrie", "http://a.example/", "http://www.site.example"}
            << QStringList {"Een  Twee Drie", "www.site.example"};
    }

    void valuesNeverBreakTheFormat()
    {
        QFETCH(QStringList, fields);
        QFETCH(QStringList, expected);
        const CatalogueStation s = makeStation("NL", fields[0], fields[1], 0, {}, fields[2]);
        const CatalogueStation second = makeStation("NL", "Second", "http://b.example/");
        const StationListText parsed = parseStationList(QString::fromUtf8(renderStationList({&s, &second})));
        QCOMPARE(parsed.naam, (QStringList {expected[0], QStringLiteral("Second")}));
        QCOMPARE(parsed.url.size(), 2);
        QVERIFY(!parsed.url.first().contains(QLatin1Char('<')));
        QCOMPARE(parsed.homepage.first(), expected[1]);
    }

    // Most played first, then most voted; cut to the size asked for, and only then.
    void listOrderAndCap()
    {
        QList<CatalogueStation> stations {makeStation("BE", "Elders", "http://b.example/", 5000)};
        for (int i = 0; i < 1000; ++i)
            stations.append(makeStation("NL", QStringLiteral("Station %1 ").arg(i) + QString(40, QLatin1Char('x')),
                                        QStringLiteral("http://a.example/%1").arg(i), 1000 - i));
        stations[500].playCount = 7;
        const auto capped = buildSnapshot(stations, {}, kMaxListChars);
        QVERIFY(QString::fromUtf8(capped->stationList(QStringLiteral("holland.txt"))->body).size() <= kMaxListChars);
        const StationListText list = stationList(*capped, "holland.txt");
        QVERIFY(list.naam.size() > 100 && list.naam.size() < 1000);
        QCOMPARE(list.url.size(), list.naam.size());
        QCOMPARE(list.naam.mid(0, 2), (QStringList {stations[500].name, stations[1].name}));
        QCOMPARE(names(capped->popular(2)), (QStringList {stations[500].name, "Elders"}));
        QCOMPARE(stationList(*buildSnapshot(stations, {}), "holland.txt").naam.size(), 1000);
    }

    void search_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const char *words, const char *country, const QStringList &expected) {
            QTest::newRow(name) << QString::fromUtf8(words) << QString::fromUtf8(country) << expected;
        };
        row("name start beats tag, then votes", "jazz", "",
            {"Jazz FM", "Jazzradio Brussel", "Sublime Jazz", "Über Jazz", "Klara"});
        row("every word must match", "jazz brussel", "", {"Jazzradio Brussel"});
        row("country filter", "jazz", "holland", {"Jazz FM", "Sublime Jazz"});
        row("country filter with .txt and case", "jazz", "Belgium.txt", {"Jazzradio Brussel", "Klara"});
        row("unknown country", "jazz", "atlantis", {});
        row("ampersand matched literally", "r&b", "", {"Rhythm & Blues 24"});
        row("lone ampersand", "&", "", {"Rhythm & Blues 24"});
        row("extra blanks", "  sublime   jazz ", "", {"Sublime Jazz"});
        row("non-ASCII case folding", "köln café", "", {"KÖLN Café Radio"});
        row("no match", "polka", "", {});
        row("separator characters cannot join stations", "fm\x01jazz", "", {"Jazz FM"});
        row("empty word lists the country's top", "", "belgium", {"Klara", "Jazzradio Brussel"});
        row("empty word without country lists the most popular", " ", "",
            {"Radio Veronica", "Klara", "Sublime Jazz", "Jazz FM", "Jazzradio Brussel"});
    }

    void search()
    {
        QFETCH(QString, words);
        QFETCH(QString, country);
        QFETCH(QStringList, expected);
        QList<CatalogueStation> stations {
            makeStation("NL", "Jazz FM", "http://j.example/1", 10, "jazz,smooth"),
            makeStation("NL", "Sublime Jazz", "http://j.example/2", 30, "jazz"),
            makeStation("NL", "Radio Veronica", "http://v.example/", 90, "pop,hits"),
            makeStation("BE", "Jazzradio Brussel", "http://j.example/3", 5, ""),
            makeStation("BE", "Klara", "http://k.example/", 40, "classical,jazz"),
            makeStation("US", "Rhythm & Blues 24", "http://r.example/", 1, "r&b,soul"),
            makeStation("US", "KÖLN Café Radio", "http://c.example/", 1, ""),
            makeStation("DE", "Über Jazz", "http://u.example/", 2, "jazz"),
        };
        for (CatalogueStation &s : stations)
            Importer::normalise(s);
        const auto snapshot = buildSnapshot(stations, {});
        QCOMPARE(names(snapshot->search(words, country, 5)), expected);
        QCOMPARE(snapshot->search(words, country, 0).size(), 0);
    }

    // Whatever a logo's source sends, what is kept is a fresh PNG within 128 x 128.
    void logoImages_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QSize>("size"); // empty: refused
        QTest::newRow("wide png scaled down") << picture(512, 256, "PNG") << QSize(128, 64);
        QTest::newRow("small png kept") << picture(16, 16, "PNG") << QSize(16, 16);
        QTest::newRow("jpeg") << picture(300, 300, "JPEG") << QSize(128, 128);
        QTest::newRow("icon") << picture(32, 32, "ICO") << QSize(32, 32);
        QTest::newRow("svg") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"/>")
                             << QSize();
        QTest::newRow("html") << QByteArray("<html>maintenance</html>") << QSize();
        QTest::newRow("truncated png") << picture(64, 64, "PNG").left(60) << QSize();
        QTest::newRow("too many bytes") << picture(16, 16, "PNG") + QByteArray(StationLogos::kMaxSourceBytes, 'x')
                                        << QSize();
        QTest::newRow("claims 20000 x 20000 pixels") << claimingSize(picture(8, 8, "PNG"), 20000, 20000) << QSize();
    }

    void logoImages()
    {
        QFETCH(QByteArray, source);
        QFETCH(QSize, size);
        QString why;
        const std::optional<QByteArray> png = StationLogos::normalise(source, &why);
        QCOMPARE(png.has_value(), !size.isEmpty());
        if (!png) {
            QVERIFY(!why.isEmpty());
            return;
        }
        QVERIFY(!png->contains("from-the-source"));
        QCOMPARE(QImage::fromData(*png, "PNG").size(), size);
    }

    void recordable_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("address");
        const auto row = [](const char *name, const char *url, const char *address) {
            QTest::newRow(name) << QString(url) << QString(address);
        };
        row("root with port", "http://91.121.45.224:8000/", "91.121.45.224:8000");
        row("no path, default port", "http://stream.example", "stream.example:80");
        row("upper-case host", "http://Stream.Example:8010/", "stream.example:8010");
        row("shoutcast semicolon path", "http://91.121.45.224:8000/;", "");
        row("mount point", "http://stream.example:8000/live.mp3", "");
        row("https", "https://stream.example/", "");
        row("query", "http://stream.example/?type=mp3", "");
        row("user info", "http://user:pw@stream.example/", "");
        row("IPv6 literal", "http://[::1]:8000/", "");
    }

    void recordable()
    {
        QFETCH(QString, url);
        QFETCH(QString, address);
        const auto snapshot = buildSnapshot({makeStation("NL", "S", url)}, {});
        const QString md5 = snapshot->stationByUrl(url)->urlMd5;
        QCOMPARE(snapshot->recordableAddress(md5).value_or(QString()), address);
        QCOMPARE(snapshot->recordableAddress(md5.toLower()).value_or(QString()), address);
        QVERIFY(!snapshot->recordableAddress(QStringLiteral("00000000000000000000000000000000")));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
