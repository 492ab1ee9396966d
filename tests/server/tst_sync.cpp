// The radio-browser sync against loopback stand-ins of the API's mirrors serving the shared JSON files.

#include "ServerTestSupport.h"
#include "catalogue/RadioBrowserSync.h"
#include "catalogue/StationLogos.h"
#include "support/LocalHttpServer.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

namespace {

enum class Mirror { Good, Slow, Failing, Nonsense, Closed };

LocalHttpReply answer(Mirror mirror, const QHash<QString, QJsonArray> &stations, const QByteArray &target)
{
    const QUrl url(QString::fromLatin1(target));
    if (mirror == Mirror::Slow)
        return {.silent = true};
    if (mirror == Mirror::Nonsense)
        return {200, "<html>maintenance</html>"};
    if (url.path() == QLatin1String("/json/countries")) {
        QJsonArray countries {QJsonObject {{"name", "Nowhere"}, {"iso_3166_1", "XX"}, {"stationcount", 0}}};
        for (auto it = stations.cbegin(); it != stations.cend(); ++it)
            countries.append(QJsonObject {{"name", it.key()}, {"iso_3166_1", it.key()}, {"stationcount", it->size()}});
        return {200, QJsonDocument(countries).toJson()};
    }
    if (!url.path().startsWith(QLatin1String("/json/stations/bycountrycodeexact/")) || mirror == Mirror::Failing)
        return {500, "error"};
    const QJsonArray all = stations.value(url.path().section(QLatin1Char('/'), -1));
    const QUrlQuery query(url);
    const int offset = query.queryItemValue(QStringLiteral("offset")).toInt();
    const int limit = query.queryItemValue(QStringLiteral("limit")).toInt();
    return {200, QJsonDocument(QJsonArray::fromVariantList(all.toVariantList().mid(offset, limit))).toJson()};
}

} // namespace

class TestSync : public QObject
{
    Q_OBJECT

    std::unique_ptr<DirectoryStore> openStore()
    {
        StoreResult r;
        auto store = DirectoryStore::open(m_dir.filePath(QStringLiteral("sync-%1.db").arg(++m_serial)), &r);
        return r.ok() ? std::move(store) : nullptr;
    }
    // The mirrors in this order; the servers behind them live as long as the list.
    QList<QUrl> start(const QList<Mirror> &order, std::vector<std::unique_ptr<LocalHttpServer>> *servers)
    {
        QList<QUrl> urls;
        for (const Mirror mirror : order) {
            servers->push_back(std::make_unique<LocalHttpServer>(
                [this, mirror](const QByteArray &target) { return answer(mirror, m_stations, target); }));
            urls.append(QUrl(servers->back()->baseUrl()));
            if (mirror == Mirror::Closed)
                servers->back()->close();
        }
        return urls;
    }

    QTemporaryDir m_dir;
    QHash<QString, QJsonArray> m_stations;
    QStringList m_files;
    int m_serial = 0;
    SyncOptions m_options;

private Q_SLOTS:
    void initTestCase()
    {
        const QHash<QString, QString> files {
            {"NL", "Netherlands.json"}, {"BE", "Belgium.json"}, {"LU", "Luxembourg.json"}, {"SR", "Suriname.json"}};
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QFile f(QStringLiteral(NORVALE_SHARED_DATA "/stations/radio-browser-json/") + it.value());
            if (!f.open(QIODevice::ReadOnly))
                QSKIP("shared radio-browser JSON files not found (../shared/data/stations/radio-browser-json)");
            m_stations.insert(it.key(), QJsonDocument::fromJson(f.readAll()).array());
            m_files.append(f.fileName());
        }
        m_options.timeoutMs = 400;
        m_options.pageSize = 100;
        m_options.fetchLogos = false; // the shared files' logos live on the internet
    }

    // The first mirror that answers every country gives the catalogue; without one, nothing is replaced.
    void mirrors_data()
    {
        QTest::addColumn<QList<Mirror>>("order");
        QTest::addColumn<bool>("synced");
        QTest::newRow("one good mirror") << QList<Mirror> {Mirror::Good} << true;
        QTest::newRow("mirror failing half-way") << QList<Mirror> {Mirror::Failing, Mirror::Good} << true;
        QTest::newRow("nonsense, closed and slow first")
            << QList<Mirror> {Mirror::Nonsense, Mirror::Closed, Mirror::Slow, Mirror::Good} << true;
        QTest::newRow("only closed and slow") << QList<Mirror> {Mirror::Closed, Mirror::Slow} << false;
        QTest::newRow("only failing half-way") << QList<Mirror> {Mirror::Failing} << false;
        QTest::newRow("no mirror") << QList<Mirror> {} << false;
    }

    void mirrors()
    {
        QFETCH(QList<Mirror>, order);
        QFETCH(bool, synced);
        std::vector<std::unique_ptr<LocalHttpServer>> servers;
        const QList<QUrl> mirrors = start(order, &servers);
        auto store = openStore();
        QVERIFY(store && store->replaceCatalogue({makeStation("NL", "Blijft", "http://blijft.example/")}).ok());
        const StoreResult r = syncFromRadioBrowser(*store, mirrors, m_options);
        QVERIFY2(r.error == (synced ? StoreError::None : StoreError::Network) && !r.message.isEmpty(),
                 qPrintable(r.message));
        QVERIFY(synced || store->snapshot()->stationCount() == 1); // the old catalogue kept
        if (!synced)
            return;

        // The sync gives exactly what importing the same files gives.
        auto imported = openStore();
        QVERIFY(imported && imported->importFiles(m_files).ok());
        const auto got = store->snapshot();
        const auto expected = imported->snapshot();
        QCOMPARE(got->countryList(Language::Dutch).body, expected->countryList(Language::Dutch).body);
        for (const CatalogueCountry *c : expected->countries())
            QCOMPARE(got->stationList(c->bestand)->body, expected->stationList(c->bestand)->body);
        // Records naming only the free-text country count; a stream URL repeated in a country once.
        QCOMPARE((QList<int> {got->countryByBestand("holland.txt")->stationCount,
                              got->countryByBestand("belgium.txt")->stationCount,
                              got->countryByBestand("suriname.txt")->stationCount}),
                 (QList<int> {381, 217, 4}));
        const CatalogueStation *funky =
            got->stationByUrl(QStringLiteral("https://ais-sa2.cdnstream1.com/2447_192.mp3"));
        QVERIFY(funky && funky->tags.startsWith(QLatin1String("funk,funky,r&b")));
        QCOMPARE((std::tuple {funky->name, funky->votes, funky->bitrate}),
                 (std::tuple {QStringLiteral("_Funky Corner Radio (Netherlands)"), 8, 192}));

        // Paged to the end of the 451 Dutch records and no further; empty countries not asked.
        const QList<QByteArray> &asked = servers.back()->targets();
        for (const int offset : {0, 100, 200, 300, 400, 500}) {
            QCOMPARE(asked.contains("/json/stations/bycountrycodeexact/NL?offset=" + QByteArray::number(offset)
                                    + "&limit=100&hidebroken=true"),
                     offset < 500);
        }
        QVERIFY(std::none_of(asked.cbegin(), asked.cend(), [](const QByteArray &t) { return t.contains("/XX"); }));
    }

    // Logos from the stations' own addresses: what decodes is kept, the rest skipped without failing
    // the sync; a logo fetched once is not asked again, an address of this machine only when allowed.
    void logos()
    {
        const QByteArray png = picture(300, 150);
        LocalHttpServer logoServer([&](const QByteArray &target) -> LocalHttpReply {
            if (target == "/good.png")
                return {200, png, "image/png"};
            if (target == "/large.png")
                return {200, png + QByteArray(StationLogos::kMaxSourceBytes, 'x'), "image/png"};
            if (target == "/slow.png")
                return {.silent = true};
            return {target == "/page" ? 200 : 404, "<html>no</html>", "text/html"};
        });
        QJsonArray nl;
        const QStringList favicons {"good.png", "page", "large.png", "slow.png", "missing.png", ""};
        for (int i = 0; i < favicons.size(); ++i)
            nl.append(
                QJsonObject {{"name", QString::number(i)},
                             {"url", QStringLiteral("http://logo%1.example/").arg(i)},
                             {"countrycode", "NL"},
                             {"favicon", favicons[i].isEmpty() ? QString() : logoServer.baseUrl() + favicons[i]}});
        const QHash<QString, QJsonArray> stations {{"NL", nl}};
        LocalHttpServer mirror([&](const QByteArray &target) { return answer(Mirror::Good, stations, target); });
        auto store = openStore();
        SyncOptions options = m_options;
        options.fetchLogos = true;
        options.logoTimeoutMs = 500;
        // Addresses of this machine are refused unless allowed, and not even asked.
        QVERIFY(syncFromRadioBrowser(*store, {QUrl(mirror.baseUrl())}, options).ok());
        QVERIFY(logoServer.targets().isEmpty());
        options.logosFromLocalAddresses = true;
        for (int run = 0; run < 2; ++run)
            QVERIFY(syncFromRadioBrowser(*store, {QUrl(mirror.baseUrl())}, options).ok());

        const CatalogueStation *withLogo = store->snapshot()->stationByUrl(QStringLiteral("http://logo0.example/"));
        QCOMPARE(store->logoSources().keys(), QStringList {withLogo->urlMd5}); // the only logo kept
        const auto logo = store->logo(withLogo->urlMd5);
        QVERIFY(logo && logo->etag == withLogo->logoEtag);
        QCOMPARE(QImage::fromData(logo->png).size(), QSize(128, 64));
        QCOMPARE(logoServer.targets().count("/good.png"), 1);
        QCOMPARE(logoServer.targets().count("/page"), 2);
    }
};

QTEST_GUILESS_MAIN(TestSync)
#include "tst_sync.moc"
