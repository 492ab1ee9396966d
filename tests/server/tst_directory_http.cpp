// The directory server's contract over real sockets, in-process over the real store on SQLite, then PostgreSQL.

#include "ServerTestSupport.h"
#include "catalogue/Gzip.h"
#include "catalogue/StationLogos.h"
#include "directory/TagParser.h"
#include "http/DirectoryService.h"
#include "http/HttpServer.h"
#include "http/RequestLog.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <thread>

namespace {

const QString kRecordableUrl = QStringLiteral("http://127.0.0.1:9/");
const QString kRnbUrl = QStringLiteral("https://stream.example.nl/rnb?x=1&y=2");
const QString kJazzUrl = QStringLiteral("http://jazz.example.nl:8000/live");
const QString kRockUrl = QStringLiteral("http://rock.example.co.uk:8010/");
const QString kTalkUrl = QStringLiteral("http://talk.example.co.uk/");

QByteArray md5(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex().toUpper();
}

// The store fills in what the lists do not show (digest, identity).
CatalogueStation station(const char *country, const char *name, const QString &url, const char *tags, int votes)
{
    return makeStation(country, name, url, votes, tags, QStringLiteral("https://www.example.org/%1").arg(votes));
}

QList<CatalogueStation> fixtureCatalogue()
{
    return {
        station("NL", "Radio Één", kRecordableUrl, "pop,nederlands", 50),
        station("NL", "R&B Lounge", kRnbUrl, "r&b,soul", 40),
        station("NL", "Jazz <Live> FM", kJazzUrl, "jazz", 30),
        station("GB", "Rock & Roll Radio", kRockUrl, "rock and roll", 20),
        station("GB", "London Talk", kTalkUrl, "talk,news", 10),
        station("DE", "Klassik Jazz", QStringLiteral("http://klassik.example.de:8000/stream.mp3"), "classical", 5),
    };
}

QByteArray enc(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

const QHostAddress kProxy(QStringLiteral("127.255.255.254"));
const QByteArray kSearch = "/radio/inter/zenders/radio-lijst-zoek.php?zoeken=";
const QByteArray kSite = "/radio/inter/website/index.php?wat=";
const QByteArray kReport = "/radio/inter/meld/index.php?";

void pathRow(const char *name, const QByteArray &target, int status, const QByteArrayList &present = {},
             const QByteArrayList &absent = {})
{
    QTest::newRow(name) << target << status << present << absent;
}

// deltas: plays, recorder failures, first runs, broken-station reports.
void reportRow(const char *name, const QByteArray &target, int status, const char *answer, QList<int> deltas = {})
{
    QTest::newRow(name) << target << status << QByteArray(answer) << deltas;
}

} // namespace

class TestDirectoryHttp final : public QObject
{
    Q_OBJECT

public:
    explicit TestDirectoryHttp(bool postgres)
        : m_postgres(postgres)
    { }

private:
    bool reportStored(const QString &url, const QString &name, ReportReason reason)
    {
        m_store->flush();
        const QList<BrokenReport> reports = m_store->recentReports(50);
        return std::any_of(reports.cbegin(), reports.cend(), [&](const BrokenReport &r) {
            return r.url == url && r.stationName == name && r.reason == reason;
        });
    }
    // Plays, recorder failures, first runs and broken-station reports stored so far.
    QList<qint64> tally()
    {
        m_store->flush();
        const DirectoryStore::Counts c = m_store->counts();
        return {c.plays, c.recorderFailures, c.firstRuns, c.brokenReports};
    }

    const bool m_postgres;
    QTemporaryDir m_dir;
    std::unique_ptr<DirectoryStore> m_store;
    RequestLog m_log {nullptr};
    std::unique_ptr<DirectoryService> m_service;
    std::unique_ptr<HttpServer> m_server;
    quint16 m_port = 0;
    QByteArray m_logo;

    // Held for 1.5 s, longer than the header deadline; "confirmed" is confirmed at once.
    static HttpResponse heldAnswer(const HttpRequest &request)
    {
        HttpResponse response = HttpResponse::text(200, "held\n");
        response.holdMs = 1500;
        const bool confirmed = request.path.endsWith("confirmed");
        response.holdUntil = [confirmed](const std::function<void()> &done) {
            if (confirmed)
                done();
        };
        return response;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString database = m_dir.filePath(QStringLiteral("directory.sqlite"));
        if (m_postgres)
            NORVALE_FRESH_POSTGRESQL(database);
        StoreOptions options;
        options.flushIntervalMs = 50;
        options.snapshotRefreshSeconds = 3600;
        StoreResult result;
        m_store = DirectoryStore::open(database, options, &result);
        QVERIFY2(m_store && result.ok(), qPrintable(result.message));
        QVERIFY(m_store->replaceCatalogue(fixtureCatalogue()).ok());
        m_logo = picture(40, 20);
        QVERIFY(m_store->writeLogos({{md5(kJazzUrl), "file:jazz.png", m_logo, StationLogos::etagOf(m_logo)}}).ok());

        DirectoryService::Options serviceOptions;
        // The report limit never refills here.
        serviceOptions.clock = [] {
            return qint64(0);
        };
        m_service = std::make_unique<DirectoryService>(m_store.get(), &m_log, serviceOptions);
        HttpServer::Options httpOptions;
        httpOptions.port = 0;
        httpOptions.idleSeconds = 5;
        httpOptions.headerSeconds = 1;
        QString bad;
        QVERIFY(httpOptions.trustedProxies.parse({kProxy.toString()}, &bad));
        m_server = std::make_unique<HttpServer>(
            httpOptions,
            [this](const HttpRequest &request) {
                return request.path.startsWith("/test/held") ? heldAnswer(request) : m_service->handle(request);
            },
            &m_log);
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
        m_port = m_server->port();
    }

    void paths_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArrayList>("present");
        QTest::addColumn<QByteArrayList>("absent");

        pathRow("countries dutch", "/radio/inter/keuze.txt", 200,
                {"<naam>Nederland</naam>", "<bestand>holland.txt</bestand>"}, {"Netherlands"});
        pathRow("countries english", "/radio/inter/keuze-uk.txt", 200,
                {"<naam>Netherlands</naam>", "<bestand>holland.txt</bestand>"}, {"<naam>Nederland</naam>"});
        pathRow("station list", "/radio/inter/zenders/holland.txt", 200,
                {"<naam>Radio Één</naam>", "<url>http://127.0.0.1:9/</url>", "R&B Lounge", "Jazz"},
                {"Rock & Roll", "<Live>"});
        pathRow("list name in capitals", "/radio/inter/zenders/HOLLAND.TXT", 200, {"Radio Één"});
        pathRow("other country", "/radio/inter/zenders/unitedkingdom.txt", 200, {"Rock & Roll Radio", "London Talk"},
                {"Radio Één"});
        pathRow("unknown list", "/radio/inter/zenders/nergens.txt", 404, {}, {"<naam>"});
        pathRow("list outside the folder", "/radio/inter/zenders/..%2Fkeuze.txt", 404, {}, {"<naam>"});
        pathRow("no list named", "/radio/inter/zenders/", 404);
        pathRow("unknown path", "/radio/inter/geheim.php", 404);
        pathRow("health", "/health", 200, {"ok", "6 stations"});
        // Which addresses are recordable, in either case of the digest, is the catalogue test's.
        const QByteArray ask = "/radio/inter/shoutcast/ask.php?zenderurl=";
        pathRow("ask, recordable", ask + md5(kRecordableUrl), 200, {"\n127.0.0.1:9"});
        pathRow("ask, digest too long", ask + md5(kRecordableUrl) + "0", 200, {}, {"127.0.0.1"});
        pathRow("ask, nothing asked", "/radio/inter/shoutcast/ask.php", 200, {}, {"127.0.0.1"});

        pathRow("search in one country", kSearch + "jazz&land=holland", 200, {"<naam>Jazz"}, {"Klassik"});
        pathRow("blank search", kSearch + "%20%20&land=holland", 200, {}, {"<naam>"});
        pathRow("raw ampersand of an old client", kSearch + "R&B&land=holland", 200, {"<naam>R&B Lounge</naam>"},
                {"Jazz"});
        pathRow("invalid utf-8 word", kSearch + "%FF%FEjazz&land=", 200, {}, {"<naam>"});

        pathRow("home dutch", kSite + "home&lang=Nederlands&versie=3.0", 200,
                {"Populair", "Radio Één", "Stemmen", "lang=\"nl\""}, {"Popular"});
        pathRow("home english", kSite + "home&lang=english&versie=3.0", 200, {"Popular", "Votes", "lang=\"en\""},
                {"Populair"});
        pathRow("dutch needs its exact name", kSite + "home&lang=nederlands", 200, {"Popular"});
        pathRow("about english", kSite + "over&lang=English&versie=3.0", 200, {"About Norvale", "radio-browser.info"});
        pathRow("problem page without station", kSite + "melding&lang=English", 200, {"nothing to report"}, {"reden="});
        pathRow("first run", "/radio/inter/website/firstrun", 200, {"Welkom", "Welcome"}, {"<script"});

        // A page names the station as the catalogue does; what the link says is never shown.
        const QByteArray problem = kSite + "melding&zenderurl=" + enc(kRockUrl) + "&zendernaam=";
        pathRow("the catalogue's name, not the link's",
                problem + enc(QStringLiteral("<script>x</script>")) + "&zenderland=" + enc(QStringLiteral("<img>")),
                200, {"Rock &amp; Roll Radio"}, {"<script", "<img"});
        pathRow("station not in the catalogue",
                kSite + "melding&zenderurl=" + enc(QStringLiteral("http://spam.example/")) + "&zendernaam=Spam", 404,
                {"not in the directory"}, {"Spam"});
        pathRow("attribute break in the address",
                kSite + "melding&zendernaam=X&zenderurl="
                    + enc(QStringLiteral("http://x.example/\"onmouseover=\"alert(1)")),
                200, {}, {"\"onmouseover"});
        pathRow("markup in the language", problem + "X&zenderland=UK&lang=" + enc(QStringLiteral("\"><b>x")), 200, {},
                {"<b>x"});
    }

    void paths()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        QFETCH(QByteArrayList, present);
        QFETCH(QByteArrayList, absent);

        const HttpTestReply reply = httpGet(m_port, target, randomClient());
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.header("content-type"),
                 target.contains("/website/") ? "text/html; charset=utf-8" : "text/plain; charset=utf-8");
        for (const QByteArray &text : present)
            QVERIFY2(reply.body.contains(text), text.constData());
        for (const QByteArray &text : absent)
            QVERIFY2(!reply.body.contains(text), text.constData());
        QCOMPARE(QString::fromUtf8(reply.body).toUtf8(), reply.body);
        if (status != 200 || !(target.contains("/zenders/") || target.contains("keuze")))
            return;
        // The player's own parser reads the list whole: every "<" opens or closes one of its fields.
        const QString body = QString::fromUtf8(reply.body);
        const bool countries = target.contains("keuze");
        QCOMPARE(reply.body.count('<'),
                 countries ? 4 * parseCountryList(body).bestand.size() : 6 * parseStationList(body).homepage.size());
    }

    void logos_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("tagKnown"); // If-None-Match names the logo's tag
        QTest::addColumn<int>("status");
        const QByteArray jazz = md5(kJazzUrl);
        QTest::newRow("from the database") << jazz + ".png" << false << 200;
        QTest::newRow("lower-case digest, from the cache") << jazz.toLower() + ".png" << false << 200;
        QTest::newRow("tag known") << jazz + ".png" << true << 304;
        QTest::newRow("station without logo") << md5(kRockUrl) + ".png" << false << 404;
        QTest::newRow("other extension") << jazz + ".gif" << false << 404;
        QTest::newRow("outside the folder") << QByteArray("..%2Fkeuze.txt") << false << 404;
    }

    void logos()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, tagKnown);
        QFETCH(int, status);
        const QByteArray tag = StationLogos::etagOf(m_logo);
        const HttpTestReply reply =
            httpGet(m_port, "/radio/inter/logo/" + file, {}, tagKnown ? "If-None-Match: " + tag + "\r\n" : "");
        QCOMPARE(reply.status, status);
        if (status == 404)
            return;
        QCOMPARE(reply.header("etag"), tag);
        QCOMPARE(reply.body, status == 200 ? m_logo : QByteArray());
        QCOMPARE(reply.header("content-type"), status == 200 ? QByteArray("image/png") : QByteArray());
    }

    void reports_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QList<int>>("deltas");

        const auto meld = [](const QByteArray &text) {
            return kReport + "meld=" + text + "&versie=3.0";
        };
        // "OK" only for a station of the catalogue, so the whole address was read.
        reportRow("play", meld(enc("zender_" + kRockUrl)), 200, "OK", {1});
        reportRow("play, address with ampersands, sent raw", meld("zender_" + kRnbUrl.toUtf8()), 200, "OK", {1});
        reportRow("play of an unknown station", meld(enc("zender_http://spam.example/")), 200, "unknown station");
        reportRow("recorder failure", meld(enc("shoutc_" + kTalkUrl)), 200, "OK", {0, 1});
        reportRow("first run", meld("vfirst"), 200, "OK", {0, 0, 1});
        reportRow("other text", meld("hallo%20daar"), 200, "ignored");
        reportRow("invalid utf-8", meld("zender_http%3A%2F%2Fa%C3%28"), 200, "ignored");

        // Broken-station reports that are refused.
        const QByteArray link = kSite + "melding&lang=English&zenderland=UK&";
        const QByteArray rock = "&zenderurl=" + enc(kRockUrl);
        reportRow("unknown reason", link + "reden=kapot&zendernaam=R1" + rock, 400, "Report not stored");
        reportRow("not an address", link + "reden=geengeluid&zenderurl=javascript%3Aalert(1)&zendernaam=R3", 400,
                  "Report not stored");
        reportRow("control characters", link + "reden=geengeluid&zendernaam=R5%0D%0AX" + rock, 400,
                  "Report not stored");
        reportRow("station not in the catalogue",
                  link + "reden=geengeluid&zendernaam=R7&zenderurl=" + enc(QStringLiteral("http://spam.example/")), 404,
                  "not in the directory");
    }

    void reports()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(QList<int>, deltas);

        QList<qint64> expected = tally();
        for (qsizetype i = 0; i < expected.size(); ++i)
            expected[i] += deltas.value(i);
        const HttpTestReply reply = httpGet(m_port, target, randomClient());
        QCOMPARE(reply.status, status);
        QVERIFY2(status == 200 ? reply.body == answer : reply.body.contains(answer), reply.body.constData());
        QCOMPARE(tally(), expected);
    }

    void reportLimitPerClient()
    {
        const qint64 before = tally()[2];
        HttpTestConnection connection(m_port, randomClient());
        QList<int> statuses;
        for (int i = 0; i < 35; ++i)
            statuses.append(connection.get(kReport + "meld=vfirst&versie=3.0").status);
        QCOMPARE(statuses, QList<int>(30, 200) + QList<int>(5, 429));

        // A broken-station report over the limit is refused as well, and not stored.
        const QByteArray link = kSite + "melding&lang=English&reden=geengeluid&zenderurl=" + enc(kTalkUrl);
        QCOMPARE(connection.get(link + "&zendernaam=Limited&zenderland=UK").status, 429);
        QVERIFY(!reportStored(kTalkUrl, QStringLiteral("Limited"), ReportReason::NoSound));

        QCOMPARE(httpGet(m_port, kReport + "meld=vfirst&versie=3.0", randomClient()).status, 200);
        QCOMPARE(tally()[2] - before, 31); // first runs
        // Reading is never limited.
        QCOMPARE(connection.get("/radio/inter/keuze.txt").status, 200);
    }

    // Each link of the form, followed as a browser would, stores its reason under the catalogue's name.
    void problemFormRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QStringList>("linkTexts"); // in the order of ReportReason
        QTest::newRow("english, utf-8 name")
            << "lang=English&zenderurl=" + enc(kRecordableUrl) + "&zendernaam=X" << kRecordableUrl
            << QStringList {"No sound", "Wrong station", "Stream has moved", "Something else"};
        QTest::newRow("dutch, raw values of an old client")
            << "lang=Nederlands&zenderurl=" + kRnbUrl.toUtf8() + "&zendernaam=Oud & Nieuw FM&zenderland=Nederland"
            << kRnbUrl << QStringList {"Geen geluid", "Verkeerde zender", "Stream is verhuisd", "Iets anders"};
    }

    void problemFormRoundTrip()
    {
        QFETCH(QByteArray, query);
        QFETCH(QString, url);
        QFETCH(QStringList, linkTexts);
        const QString name = m_store->snapshot()->stationByUrl(url)->name;

        const QHostAddress client = randomClient();
        const HttpTestReply form = httpGet(m_port, kSite + "melding&" + query, client);
        QCOMPARE(form.status, 200);
        const QString html = QString::fromUtf8(form.body);
        QVERIFY2(html.contains(name.toHtmlEscaped()), qPrintable(html));
        const QUrl page(QStringLiteral("http://127.0.0.1/radio/inter/website/index.php"));
        for (int reason = 0; reason < linkTexts.size(); ++reason) {
            const auto link = QRegularExpression("<a href=\"([^\"]*)\">" + linkTexts[reason] + "</a>").match(html);
            QVERIFY2(link.hasMatch(), qPrintable(html));
            const QUrl target = page.resolved(QUrl(link.captured(1).replace("&amp;", "&"), QUrl::StrictMode));
            const HttpTestReply thanks =
                httpGet(m_port, target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority), client);
            QCOMPARE(thanks.status, 200);
            QVERIFY(thanks.body.contains("Thank you") || thanks.body.contains("Bedankt"));
            QVERIFY(reportStored(url, name, ReportReason(reason)));
        }
    }

    void etagAndHead()
    {
        const QByteArray list = "/radio/inter/zenders/holland.txt";
        HttpTestConnection connection(m_port);
        const HttpTestReply first = connection.get(list);
        const QByteArray etag = first.header("etag");
        QVERIFY(etag.startsWith('"') && etag.endsWith('"'));

        QCOMPARE(connection.get(list, "If-None-Match: " + etag + "\r\n").header("etag"), etag);
        QCOMPARE(connection.get(list, "If-None-Match: \"other\", " + etag + "\r\n").status, 304);
        QCOMPARE(connection.get(list, "If-None-Match: W/" + etag + "\r\n").status, 304);
        QCOMPARE(connection.get(list, "If-None-Match: \"other\"\r\n").status, 200);
        QCOMPARE(connection.get("/radio/inter/keuze.txt", "If-None-Match: " + etag + "\r\n").status, 200);

        // A HEAD pipelined with two requests: each answered in order, the HEAD without a body.
        connection.send("HEAD " + list
                        + " HTTP/1.1\r\nHost: x\r\n\r\nGET /nothing HTTP/1.1\r\nHost: x\r\n\r\n"
                          "GET /health HTTP/1.1\r\nHost: x\r\n\r\n");
        const HttpTestReply head = connection.read(true);
        QCOMPARE(head.status, 200);
        QCOMPARE(head.header("content-length").toLongLong(), first.body.size());
        QCOMPARE(head.header("etag"), etag);
        QCOMPARE(connection.read().status, 404);
        QVERIFY(connection.read().body.startsWith("ok"));
    }

    // Raw requests, hostile or merely old: each is answered cleanly and stores nothing.
    void rawRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("connectionHeader"); // the connection is kept open unless "close"

        const QByteArray host = "Host: 127.0.0.1\r\n";
        const auto get = [&](const QByteArray &target) {
            return "GET " + target + " HTTP/1.1\r\n" + host + "\r\n";
        };
        const QByteArray post = "POST /radio/inter/meld/index.php HTTP/1.1\r\n" + host;
        const QByteArray keuze = "GET /radio/inter/keuze.txt ";
        const auto row = [](const char *name, const QByteArray &request, int status, const char *connection) {
            QTest::newRow(name) << request << status << QByteArray(connection);
        };
        row("1 MB query", get(kSearch + QByteArray(1 << 20, 'a') + "&land="), 414, "close");
        row("5 KB query", get(kReport + "meld=zender_" + QByteArray(5000, 'a')), 414, "close");
        row("20 KB of headers", get("/health").chopped(2) + "X-Filler: " + QByteArray(20000, 'b') + "\r\n\r\n", 431,
            "close");
        row("body", post + "Content-Length: 11\r\n\r\nmeld=vfirst", 413, "close");
        row("chunked body", post + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 413, "close");
        // Its body's length is unknown: what follows must not be read as the next request.
        row("transfer coding other than chunked",
            get("/health").chopped(2) + "Transfer-Encoding: gzip\r\n\r\n" + get("/radio/inter/keuze.txt"), 400,
            "close");
        row("other method", "DELETE /radio/inter/keuze.txt HTTP/1.1\r\n" + host + "\r\n", 405, "close");
        static const char tls[] = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n";
        row("not http", QByteArray(tls, sizeof tls - 1), 400, "close");
        row("no target", "GET\r\n" + host + "\r\n", 400, "close");
        row("no blank in the request line, one below", "HTTP/1.1\r\nHost: a b\r\n\r\n", 400, "close");
        row("asterisk target", "OPTIONS * HTTP/1.1\r\n" + host + "\r\n", 400, "close");
        row("nul in the path", get("/radio/inter/zenders/holland.txt%00.php"), 404, "");
        row("raw blanks in the query", get(kSearch + "rock & roll&land="), 200, "");
        row("raw utf-8 in the query", get(kSearch + "\xc3\xa9\xc3\xa9n&land="), 200, "");
        row("absolute form", get("http://127.0.0.1/radio/inter/keuze.txt"), 200, "");
        row("HTTP/1.1 close", keuze + "HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 200, "close");
        row("HTTP/1.0", keuze + "HTTP/1.0\r\n\r\n", 200, "close");
        row("HTTP/1.0 keep-alive", keuze + "HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", 200, "keep-alive");
        row("bare LF line ends", keuze + "HTTP/1.1\nHost: x\n\n", 200, "");
        row("bare LF, HTTP/1.0 as an old recorder writes it", keuze + "HTTP/1.0\n\n", 200, "close");
        row("leading empty line", "\r\n" + keuze + "HTTP/1.1\r\nHost: x\r\n\r\n", 200, "");
    }

    void rawRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, connectionHeader);

        const QList<qint64> before = tally();
        HttpTestConnection connection(m_port, randomClient());
        connection.send(request);
        const HttpTestReply reply = connection.read();
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.header("connection"), connectionHeader);
        if (connectionHeader != "close")
            QVERIFY(connection.get("/health").body.startsWith("ok"));
        else
            QVERIFY(connection.closedByServer());
        QCOMPARE(tally(), before);
        QCOMPARE(httpGet(m_port, "/health").status, 200);
    }

    // Two plays of one station: they count twice only from two clients.
    void clientBehindProxy_data()
    {
        QTest::addColumn<bool>("viaProxy");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArrayList>("values"); // of the two plays
        QTest::addColumn<int>("plays");
        const QByteArray forwardedFor = "X-Forwarded-For: ";
        QTest::newRow("trusted proxy, two clients")
            << true << forwardedFor << QByteArrayList {"198.51.100.1", "198.51.100.2"} << 2;
        QTest::newRow("trusted proxy, one client forwarded twice")
            << true << forwardedFor << QByteArrayList {"198.51.100.3", "198.51.100.3, 127.255.255.254"} << 1;
        QTest::newRow("Forwarded header") << true << QByteArray("Forwarded: for=")
                                          << QByteArrayList {"198.51.100.4;proto=http", "\"[2001:db8:4::1]:80\""} << 2;
        QTest::newRow("one IPv6 /64 is one client")
            << true << forwardedFor << QByteArrayList {"2001:db8:5::1", "2001:db8:5::ffff:2"} << 1;
        QTest::newRow("untrusted peer's header ignored")
            << false << forwardedFor << QByteArrayList {"198.51.100.6", "198.51.100.7"} << 1;
    }

    void clientBehindProxy()
    {
        QFETCH(bool, viaProxy);
        QFETCH(QByteArray, header);
        QFETCH(QByteArrayList, values);
        QFETCH(int, plays);
        m_store->flush();
        const qint64 before = m_store->snapshot()->stationByUrl(kTalkUrl)->playCount;
        const QHostAddress peer = viaProxy ? kProxy : randomClient();
        for (const QByteArray &value : values)
            QCOMPARE(httpGet(m_port, kReport + "meld=" + enc("zender_" + kTalkUrl), peer, header + value + "\r\n").body,
                     "OK");
        m_store->flush();
        QCOMPARE(m_store->snapshot()->stationByUrl(kTalkUrl)->playCount - before, plays);
    }

    void connectionLimits()
    {
        // A header that does not end is cut off at its deadline, long before the idle time-out.
        HttpTestConnection slow(m_port, randomClient());
        slow.send("GET /health HTTP/1.1\r\nHo");
        QElapsedTimer waited;
        waited.start();
        QVERIFY(slow.closedByServer());
        QVERIFY2(waited.elapsed() < 4000, qPrintable(QString::number(waited.elapsed())));

        const QHostAddress greedy = randomClient();
        std::vector<std::unique_ptr<HttpTestConnection>> held;
        for (int i = 0; i < HttpServer::Options().maxConnectionsPerClient; ++i)
            held.push_back(std::make_unique<HttpTestConnection>(m_port, greedy));
        QCOMPARE(HttpTestConnection(m_port, greedy).read().status, 503);
        QCOMPARE(httpGet(m_port, "/health", randomClient()).status, 200);
        QCOMPARE(held.front()->get("/health").status, 200);
    }

    void heldAnswers()
    {
        // Not cut off by the header deadline: sent at the end of its hold, and the
        // connection carries on with the next request.
        HttpTestConnection connection(m_port, randomClient());
        QElapsedTimer waited;
        waited.start();
        QCOMPARE(connection.get("/test/held-never").body, "held\n");
        QVERIFY2(waited.elapsed() >= 1400, qPrintable(QString::number(waited.elapsed())));
        waited.restart();
        QCOMPARE(connection.get("/test/held-confirmed").body, "held\n");
        QVERIFY2(waited.elapsed() < 1000, qPrintable(QString::number(waited.elapsed())));
    }

    void gzipBodies_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("station list") << QByteArray("/radio/inter/zenders/holland.txt");
        QTest::newRow("home page") << kSite + "home&lang=English";
        QTest::newRow("search") << kSearch + "a&land=";
    }

    void gzipBodies()
    {
        QFETCH(QByteArray, target);
        const HttpTestReply plain = httpGet(m_port, target);
        const HttpTestReply packed = httpGet(m_port, target, {}, "Accept-Encoding: deflate, gzip;q=0.8\r\n");
        QCOMPARE(packed.header("content-encoding"), QByteArray("gzip"));
        QVERIFY(packed.body.size() < plain.body.size());
        QCOMPARE(gzipDecompress(packed.body), plain.body);
        QVERIFY(packed.header("etag") != plain.header("etag") || plain.header("etag").isEmpty());
        QCOMPARE(httpGet(m_port, target, {}, "Accept-Encoding: gzip;q=0\r\n").header("content-encoding"), QByteArray());
        QCOMPARE(httpGet(m_port, target, {}, "Accept-Encoding: br,  X-GZIP ; Q=1\r\n").header("content-encoding"),
                 QByteArray("gzip"));
    }

    // Clients in threads of their own while the snapshot is replaced: every answer whole (and, under the
    // thread checker, free of races between the serving threads, the search worker and the store thread).
    void readsDuringSnapshotSwaps()
    {
        std::atomic<int> failures {0};
        std::vector<std::thread> clients;
        for (const QByteArray &target : {QByteArray("/radio/inter/zenders/holland.txt"), kSearch + "jazz&land=",
                                         kSite + "home&lang=English", kReport + "meld=vfirst&versie=3.0"}) {
            clients.emplace_back([&, target] {
                HttpTestConnection connection(m_port, randomClient());
                for (int i = 0; i < 15; ++i)
                    failures += connection.get(target).status != 200;
            });
        }
        for (int i = 0; i < 5; ++i)
            QVERIFY(m_store->replaceCatalogue(fixtureCatalogue()).ok());
        for (std::thread &client : clients)
            client.join();
        QCOMPARE(failures.load(), 0);
    }

    // Last: it changes the catalogue the other cases read. The cached home page follows a
    // report newly handled and a new catalogue; a list keeps its tag unless it changed.
    void cachedPagesFollowChanges()
    {
        const QByteArray home = kSite + "home&lang=English";
        const QByteArray link = kSite + "melding&lang=English&reden=anders&zendernaam=X&zenderland=X&zenderurl=";
        QCOMPARE(httpGet(m_port, link + enc(kJazzUrl), randomClient()).status, 200);
        m_store->flush();
        QList<BrokenReport> open;
        QVERIFY(m_store->openReports(100, &open).ok());
        QVERIFY(!httpGet(m_port, home).body.contains("Recently handled")); // the page is cached now
        int marked = 0; // a number twice or of no report counts once or not at all
        QVERIFY(m_store->markReportsHandled({open.last().id, open.last().id, 99999}, &marked).ok() && marked == 1);
        QList<BrokenReport> stillOpen;
        QVERIFY(m_store->openReports(100, &stillOpen).ok() && stillOpen.size() == open.size() - 1);
        QVERIFY(httpGet(m_port, home).body.contains("Recently handled reports"));
        QVERIFY(httpGet(m_port, home).body.contains("Jazz &lt;Live&gt; FM"));

        const QByteArray listEtag = httpGet(m_port, "/radio/inter/zenders/holland.txt").header("etag");
        const QByteArray countriesEtag = httpGet(m_port, "/radio/inter/keuze.txt").header("etag");
        QList<CatalogueStation> catalogue = fixtureCatalogue();
        catalogue.append(station("NL", "Nieuw FM", QStringLiteral("http://nieuw.example.nl/"), "pop", 1000));
        QVERIFY(m_store->replaceCatalogue(catalogue).ok());
        const HttpTestReply after =
            httpGet(m_port, "/radio/inter/zenders/holland.txt", {}, "If-None-Match: " + listEtag + "\r\n");
        QCOMPARE(after.status, 200);
        QVERIFY(after.body.contains("Nieuw FM") && after.header("etag") != listEtag);
        QVERIFY(httpGet(m_port, home).body.contains("Nieuw FM"));
        QCOMPARE(httpGet(m_port, "/radio/inter/keuze.txt", {}, "If-None-Match: " + countriesEtag + "\r\n").status, 304);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestDirectoryHttp sqlite(false);
    TestDirectoryHttp postgres(true);
    return QTest::qExec(&sqlite, argc, argv) | QTest::qExec(&postgres, argc, argv);
}

#include "tst_directory_http.moc"
