// Catalogue import, the tagged-field writer and the snapshot, without a database.

#include "CatalogueTestSupport.h"
#include "CountryNames.h"
#include "Importer.h"
#include "Snapshot.h"
#include "TagWriter.h"

#include <QFile>
#include <QtTest>

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sharedCsv_data();
    void sharedCsv();
    void sharedJson_data();
    void sharedJson();
    void csvRecords_data();
    void csvRecords();
    void bestand_data();
    void bestand();
    void valuesNeverBreakTheFormat_data();
    void valuesNeverBreakTheFormat();
    void listsReadBack();
    void listOrderAndEtag();
    void listCap();
    void search_data();
    void search();
    void recordable_data();
    void recordable();

private:
    std::shared_ptr<const CatalogueSnapshot> searchSnapshot();
};

void TestCatalogue::sharedCsv_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("dutch");
    QTest::newRow("Netherlands") << "NL" << 933 << QStringLiteral("Nederland");
    QTest::newRow("United States") << "US" << 3286 << QStringLiteral("Verenigde Staten");
    QTest::newRow("Belgium") << "BE" << 305 << QStringLiteral("België");
    QTest::newRow("Norway") << "NO" << 93 << QStringLiteral("Noorwegen");
}

void TestCatalogue::sharedCsv()
{
    QFETCH(QString, code);
    QFETCH(int, count);
    QFETCH(QString, dutch);
    const QString file = sharedStations() + QStringLiteral("/stations.csv");
    if (!QFile::exists(file))
        QSKIP("shared station data not found next to the checkout (../shared/data/stations)");
    const Importer::Result r = Importer::readFile(file);
    QVERIFY2(r.status.ok(), qPrintable(r.status.message));
    // Three rows carry no valid URL ("${Date.now()}" left in a query, a "|" in a path).
    QCOMPARE(r.stations.size(), 33637);
    QCOMPARE(r.skipped, 3);
    QCOMPARE(r.countries.size(), 51);
    QCOMPARE(int(std::count_if(r.stations.cbegin(), r.stations.cend(),
                               [&](const CatalogueStation &s) { return s.countryCode == code; })),
             count);
    const auto country = std::find_if(r.countries.cbegin(), r.countries.cend(),
                                      [&](const CatalogueCountry &c) { return c.code == code; });
    QVERIFY(country != r.countries.cend());
    QCOMPARE(country->nameDutch, dutch);
    for (const CatalogueStation &s : r.stations) {
        QCOMPARE(s.urlMd5.size(), 32);
        QVERIFY(!s.uuid.isEmpty());
    }
}

void TestCatalogue::sharedJson_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("distinct");
    // Some records carry only the free-text country ("The Netherlands"); they still count.
    // Records repeating a stream URL of the same country are left out.
    QTest::newRow("Netherlands") << "Netherlands.json"
                                 << "NL" << 451 << 381;
    QTest::newRow("Belgium") << "Belgium.json"
                             << "BE" << 254 << 217;
    QTest::newRow("Suriname") << "Suriname.json"
                              << "SR" << 5 << 4;
}

void TestCatalogue::sharedJson()
{
    QFETCH(QString, file);
    QFETCH(QString, code);
    QFETCH(int, count);
    QFETCH(int, distinct);
    const QString path = sharedStations() + QStringLiteral("/radio-browser-json/") + file;
    if (!QFile::exists(path))
        QSKIP("shared radio-browser JSON files not found (../shared/data/stations/radio-browser-json)");
    const Importer::Result r = Importer::merge({Importer::readFile(path)});
    QVERIFY2(r.status.ok(), qPrintable(r.status.message));
    QCOMPARE(r.stations.size(), distinct);
    QCOMPARE(r.stations.size() + r.skipped, count);
    for (const CatalogueStation &s : r.stations)
        QCOMPARE(s.countryCode, code);
    if (code == QLatin1String("NL")) {
        const auto it = std::find_if(r.stations.cbegin(), r.stations.cend(), [](const CatalogueStation &s) {
            return s.uuid == QLatin1String("6a469372-0072-40b0-85dc-7b272854e573");
        });
        QVERIFY(it != r.stations.cend());
        QCOMPARE(it->name, QStringLiteral("_Funky Corner Radio (Netherlands)"));
        QCOMPARE(it->url, QStringLiteral("https://ais-sa2.cdnstream1.com/2447_192.mp3"));
        QCOMPARE(it->votes, 8);
        QCOMPARE(it->bitrate, 192);
        QVERIFY(it->tags.startsWith(QLatin1String("funk,funky,r&b")));
    }
}

void TestCatalogue::csvRecords_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("expectedNames");
    QTest::addColumn<int>("skipped");
    const QByteArray header = "country_code,name,url,homepage,tags,votes\n";
    QTest::newRow("quoted comma and quote")
        << header + "NL,\"Radio \"\"Één\"\", Zwolle\",http://a.example/,,\"pop,rock\",3\n"
        << QStringList {QStringLiteral("Radio \"Één\", Zwolle")} << 0;
    QTest::newRow("line break inside quotes is flattened")
        << header + "NL,\"Twee\nregels\tmet tab\",http://a.example/\n"
        << QStringList {QStringLiteral("Twee regels met tab")} << 0;
    QTest::newRow("CRLF and BOM") << "\xEF\xBB\xBF" + header.chopped(1)
            + "\r\nNL,Een,http://a.example/1\r\nBE,Twee,https://b.example/2\r\n"
                                  << QStringList {QStringLiteral("Een"), QStringLiteral("Twee")} << 0;
    QTest::newRow("unusable URLs skipped") << header
            + "NL,Ftp,ftp://a.example/\nNL,Js,javascript:alert(1)\nNL,Bare,http:host\nNL,Empty,\n"
              "NL,Blank,http://a.example/with space\nNL,Angle,http://a.example/<b>\nNL,Good,HTTP://A.example/x\n"
                                           << QStringList {QStringLiteral("Good")} << 6;
    QTest::newRow("no country or no name skipped") << header
            + "N1,Digit,http://a.example/1\n,None,http://a.example/2\nNL,,http://a.example/3\nnl,Lower,http://"
              "a.example/4\n" << QStringList {QStringLiteral("Lower")}
                                                   << 3;
    QTest::newRow("invalid UTF-8 becomes replacement characters")
        << header + "NL,Caf\xC3\x28 \xFF,http://a.example/\n"
        << QStringList {QStringLiteral("Caf\uFFFD( \uFFFD")} << 0;
    QTest::newRow("short rows and blank lines") << header + "\nNL,Kort,http://a.example/\n\n"
                                                << QStringList {QStringLiteral("Kort")} << 0;
    QTest::newRow("SQL text is a name like any other")
        << header + "NL,\"x'); DROP TABLE stations;--\",http://a.example/\n"
        << QStringList {QStringLiteral("x'); DROP TABLE stations;--")} << 0;
}

void TestCatalogue::csvRecords()
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

void TestCatalogue::bestand_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("bestand");
    QTest::addColumn<QString>("dutch");
    QTest::newRow("Netherlands keep holland.txt") << "NL"
                                                  << "holland.txt" << QStringLiteral("Nederland");
    QTest::newRow("Belgium") << "be"
                             << "belgium.txt" << QStringLiteral("België");
    QTest::newRow("accents and apostrophe") << "CI"
                                            << "cotedivoire.txt" << QStringLiteral("Ivoorkust");
    QTest::newRow("blanks removed") << "GB"
                                    << "unitedkingdom.txt" << QStringLiteral("Verenigd Koninkrijk");
    QTest::newRow("Türkiye") << "TR"
                             << "turkiye.txt" << QStringLiteral("Turkije");
    QTest::newRow("local demo") << "ZZ"
                                << "lokaal.txt" << QStringLiteral("Lokale demo");
    QTest::newRow("unknown code falls back") << "QQ"
                                             << "qq.txt" << QStringLiteral("QQ");
}

void TestCatalogue::bestand()
{
    QFETCH(QString, code);
    QFETCH(QString, bestand);
    QFETCH(QString, dutch);
    const CountryNames::Names n = CountryNames::namesFor(code);
    QCOMPARE(CountryNames::bestandFor(code, n.english), bestand);
    QCOMPARE(n.dutch, dutch);
}

void TestCatalogue::valuesNeverBreakTheFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("homepage");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QString>("expectedHomepage");
    QTest::newRow("closing tag in name") << "Evil</naam><naam>Injected"
                                         << "http://a.example/"
                                         << "" << QStringLiteral("Evil‹/naam›‹naam›Injected") << "";
    QTest::newRow("angle brackets in all fields")
        << "<b>Vet</b>"
        << "http://a.example/?q=<x>"
        << "https://site.example/<p>" << QStringLiteral("‹b›Vet‹/b›") << QStringLiteral("site.example/‹p›");
    QTest::newRow("line breaks and tabs") << "Een\r\nTwee\tDrie"
                                          << "http://a.example/"
                                          << "http://www.site.example"
                                          << "Een  Twee Drie"
                                          << "www.site.example";
    QTest::newRow("ampersand stays") << "Rock & Roll"
                                     << "http://a.example/?a=1&b=2"
                                     << ""
                                     << "Rock & Roll"
                                     << "";
}

void TestCatalogue::valuesNeverBreakTheFormat()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    QFETCH(QString, homepage);
    QFETCH(QString, expectedName);
    QFETCH(QString, expectedHomepage);
    CatalogueStation s = makeStation(QStringLiteral("NL"), name, url, 0, {}, homepage);
    CatalogueStation second =
        makeStation(QStringLiteral("NL"), QStringLiteral("Second"), QStringLiteral("http://b.example/"));
    const QByteArray body = renderStationList({&s, &second});
    QVERIFY(!QString::fromUtf8(body).contains(QLatin1String("<naam>Injected")));
    const StationListText parsed = parseStationList(QString::fromUtf8(body));
    QCOMPARE(parsed.naam, (QStringList {expectedName, QStringLiteral("Second")}));
    QCOMPARE(parsed.url.size(), 2);
    QVERIFY(!parsed.url.first().contains(QLatin1Char('<')));
    QCOMPARE(parsed.homepage.first(), expectedHomepage);
}

void TestCatalogue::listsReadBack()
{
    const QString file = sharedStations() + QStringLiteral("/stations.csv");
    if (!QFile::exists(file))
        QSKIP("shared station data not found next to the checkout (../shared/data/stations)");
    Importer::Result r = Importer::readFile(file);
    QHash<QString, QSet<QString>> urlsByCountry;
    for (const CatalogueStation &s : r.stations)
        urlsByCountry[s.countryCode].insert(s.url);
    const auto snapshot = buildSnapshot(r.stations, r.countries);
    QCOMPARE(snapshot->stationCount(), 33637);

    for (const Language language : {Language::Dutch, Language::English}) {
        const CountryListText countries = parseCountryList(QString::fromUtf8(snapshot->countryList(language).body));
        QCOMPARE(countries.naam.size(), 51);
        QCOMPARE(countries.bestand.size(), 51);
        QVERIFY(countries.bestand.contains(QLatin1String("holland.txt")));
        QCOMPARE(QSet<QString>(countries.bestand.cbegin(), countries.bestand.cend()).size(), 51);
        for (int i = 0; i < countries.bestand.size(); ++i) {
            const CatalogueCountry *c = snapshot->countryByBestand(countries.bestand.at(i));
            QVERIFY(c);
            QCOMPARE(countries.naam.at(i), language == Language::Dutch ? c->nameDutch : c->nameEnglish);
            const StationListText list = parseStationList(QString::fromUtf8(snapshot->stationList(c->bestand)->body));
            QCOMPARE(list.naam.size(), c->stationCount);
            QCOMPARE(list.url.size(), c->stationCount);
            QCOMPARE(list.homepage.size(), c->stationCount);
            QCOMPARE(QSet<QString>(list.url.cbegin(), list.url.cend()), urlsByCountry.value(c->code));
        }
    }
    const CountryListText dutch = parseCountryList(QString::fromUtf8(snapshot->countryList(Language::Dutch).body));
    QVERIFY(dutch.naam.indexOf(QStringLiteral("België")) < dutch.naam.indexOf(QStringLiteral("Bosnië en Herzegovina")));
    QVERIFY(dutch.naam.indexOf(QStringLiteral("Zwitserland")) == dutch.naam.size() - 1);
    QVERIFY(!snapshot->stationList(QStringLiteral("nergens.txt")));
    QVERIFY(!snapshot->stationList(QStringLiteral("../holland.txt")));
}

void TestCatalogue::listOrderAndEtag()
{
    QList<CatalogueStation> stations {
        makeStation(QStringLiteral("NL"), QStringLiteral("Weinig"), QStringLiteral("http://a.example/1"), 1),
        makeStation(QStringLiteral("NL"), QStringLiteral("Veel stemmen"), QStringLiteral("http://a.example/2"), 50),
        makeStation(QStringLiteral("NL"), QStringLiteral("Vaak gespeeld"), QStringLiteral("http://a.example/3"), 2),
        makeStation(QStringLiteral("BE"), QStringLiteral("Elders"), QStringLiteral("http://b.example/"), 99),
    };
    stations[2].playCount = 7;
    const auto first = buildSnapshot(stations, {});
    const StationListText list =
        parseStationList(QString::fromUtf8(first->stationList(QStringLiteral("holland.txt"))->body));
    QCOMPARE(list.naam, (QStringList {"Vaak gespeeld", "Veel stemmen", "Weinig"}));
    QCOMPARE(names(first->popular(2)), (QStringList {"Vaak gespeeld", "Elders"}));

    const auto same = buildSnapshot(stations, {});
    QCOMPARE(same->stationList(QStringLiteral("holland.txt"))->etag,
             first->stationList(QStringLiteral("holland.txt"))->etag);
    stations[0].playCount = 100;
    const auto changed = buildSnapshot(stations, {});
    QVERIFY(changed->stationList(QStringLiteral("holland.txt"))->etag
            != first->stationList(QStringLiteral("holland.txt"))->etag);
    QCOMPARE(changed->stationList(QStringLiteral("belgium.txt"))->etag,
             first->stationList(QStringLiteral("belgium.txt"))->etag);
    QVERIFY(changed->stationList(QStringLiteral("holland.txt"))->etag.startsWith('"'));
}

void TestCatalogue::listCap()
{
    QList<CatalogueStation> stations;
    for (int i = 0; i < 1000; ++i)
        stations.append(makeStation(QStringLiteral("NL"),
                                    QStringLiteral("Station %1 ").arg(i) + QString(40, QLatin1Char('x')),
                                    QStringLiteral("http://a.example/%1").arg(i), 1000 - i));
    const auto capped = buildSnapshot(stations, {}, kMaxListChars);
    const QString body = QString::fromUtf8(capped->stationList(QStringLiteral("holland.txt"))->body);
    QVERIFY(body.size() <= kMaxListChars);
    const StationListText list = parseStationList(body);
    QVERIFY(list.naam.size() > 100 && list.naam.size() < 1000);
    QCOMPARE(list.url.size(), list.naam.size());
    QCOMPARE(list.naam.first(), stations.first().name);
    const auto whole = buildSnapshot(stations, {});
    QCOMPARE(parseStationList(QString::fromUtf8(whole->stationList(QStringLiteral("holland.txt"))->body)).naam.size(),
             1000);
}

std::shared_ptr<const CatalogueSnapshot> TestCatalogue::searchSnapshot()
{
    QList<CatalogueStation> s {
        makeStation("NL", "Jazz FM", "http://j.example/1", 10, "jazz,smooth"),
        makeStation("NL", "Sublime Jazz", "http://j.example/2", 30, "jazz"),
        makeStation("NL", "Radio Veronica", "http://v.example/", 90, "pop,hits"),
        makeStation("BE", "Jazzradio Brussel", "http://j.example/3", 5, ""),
        makeStation("BE", "Klara", "http://k.example/", 40, "classical,jazz"),
        makeStation("US", "Rhythm & Blues 24", "http://r.example/", 1, "r&b,soul"),
        makeStation("US", "KÖLN Café Radio", "http://c.example/", 1, ""),
        makeStation("DE", "Über Jazz", "http://u.example/", 2, "jazz"),
    };
    for (CatalogueStation &st : s)
        Importer::normalise(st);
    return buildSnapshot(s, {});
}

void TestCatalogue::search_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("name start beats tag, then votes")
        << "jazz"
        << "" << QStringList {"Jazz FM", "Jazzradio Brussel", "Sublime Jazz", "Über Jazz", "Klara"};
    QTest::newRow("case-insensitive") << "JAZZ fm"
                                      << "" << QStringList {"Jazz FM"};
    QTest::newRow("every word must match") << "jazz brussel"
                                           << "" << QStringList {"Jazzradio Brussel"};
    QTest::newRow("country filter") << "jazz"
                                    << "holland" << QStringList {"Jazz FM", "Sublime Jazz"};
    QTest::newRow("country filter with .txt and case") << "jazz"
                                                       << "Belgium.txt" << QStringList {"Jazzradio Brussel", "Klara"};
    QTest::newRow("unknown country") << "jazz"
                                     << "atlantis" << QStringList {};
    QTest::newRow("ampersand matched literally") << "r&b"
                                                 << "" << QStringList {"Rhythm & Blues 24"};
    QTest::newRow("lone ampersand") << "&"
                                    << "" << QStringList {"Rhythm & Blues 24"};
    QTest::newRow("extra blanks") << "  sublime   jazz "
                                  << "" << QStringList {"Sublime Jazz"};
    QTest::newRow("non-ASCII case folding") << "köln café"
                                            << "" << QStringList {"KÖLN Café Radio"};
    QTest::newRow("no match") << "polka"
                              << "" << QStringList {};
    QTest::newRow("separator characters cannot join stations") << "fm\x01jazz"
                                                               << "" << QStringList {"Jazz FM"};
    QTest::newRow("empty word lists the country's top") << ""
                                                        << "belgium" << QStringList {"Klara", "Jazzradio Brussel"};
    QTest::newRow("empty word without country lists the most popular")
        << " "
        << "" << QStringList {"Radio Veronica", "Klara", "Sublime Jazz", "Jazz FM", "Jazzradio Brussel"};
}

void TestCatalogue::search()
{
    QFETCH(QString, words);
    QFETCH(QString, country);
    QFETCH(QStringList, expected);
    const auto snapshot = searchSnapshot();
    QCOMPARE(names(snapshot->search(words, country, 5)), expected);
    QCOMPARE(snapshot->search(words, country, 0).size(), 0);
}

void TestCatalogue::recordable_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("address");
    QTest::newRow("root with port") << "http://91.121.45.224:8000/"
                                    << "91.121.45.224:8000";
    QTest::newRow("no path, default port") << "http://stream.example"
                                           << "stream.example:80";
    QTest::newRow("upper-case host") << "http://Stream.Example:8010/"
                                     << "stream.example:8010";
    QTest::newRow("shoutcast semicolon path") << "http://91.121.45.224:8000/;"
                                              << "";
    QTest::newRow("mount point") << "http://stream.example:8000/live.mp3"
                                 << "";
    QTest::newRow("https") << "https://stream.example/"
                           << "";
    QTest::newRow("query") << "http://stream.example/?type=mp3"
                           << "";
    QTest::newRow("user info") << "http://user:pw@stream.example/"
                               << "";
    QTest::newRow("IPv6 literal") << "http://[::1]:8000/"
                                  << "";
}

void TestCatalogue::recordable()
{
    QFETCH(QString, url);
    QFETCH(QString, address);
    const auto snapshot = buildSnapshot({makeStation("NL", "S", url)}, {});
    const std::optional<QString> got = snapshot->recordableAddress(snapshot->stationByUrl(url)->urlMd5);
    QCOMPARE(got.value_or(QString()), address);
    QCOMPARE(snapshot->recordableAddress(snapshot->stationByUrl(url)->urlMd5.toLower()).value_or(QString()), address);
    QVERIFY(!snapshot->recordableAddress(QStringLiteral("00000000000000000000000000000000")));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
