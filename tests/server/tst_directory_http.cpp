// The directory server's contract over real HTTP: the server runs in this process on a
// free loopback port over the real store (SQLite in a temporary folder, or PostgreSQL
// when NORVALE_TEST_DATABASE=postgresql), and every request goes through a socket.

#include "DirectoryService.h"
#include "DirectoryStore.h"
#include "HttpServer.h"
#include "HttpTestClient.h"
#include "RequestLog.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QString kRecordableUrl = QStringLiteral("http://127.0.0.1:9/");
const QString kRnbUrl = QStringLiteral("https://stream.example.nl/rnb?x=1&y=2");
const QString kJazzUrl = QStringLiteral("http://jazz.example.nl:8000/live");
const QString kRockUrl = QStringLiteral("http://rock.example.co.uk:8010/");
const QString kTalkUrl = QStringLiteral("http://talk.example.co.uk/");
const QString kKlassikUrl = QStringLiteral("http://klassik.example.de:8000/stream.mp3");

CatalogueStation station(const char *country, const QString &name, const QString &url, const char *tags, int votes)
{
    CatalogueStation s;
    s.uuid = QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex());
    s.countryCode = QString::fromLatin1(country);
    s.name = name;
    s.url = url;
    s.homepage = QStringLiteral("https://www.example.org/") + QString::number(votes);
    s.tags = QString::fromUtf8(tags);
    s.codec = QStringLiteral("MP3");
    s.bitrate = 128;
    s.votes = votes;
    s.urlMd5 = QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
    return s;
}

QList<CatalogueStation> fixtureCatalogue()
{
    return {
        station("NL", QStringLiteral("Radio Één"), kRecordableUrl, "pop,nederlands", 50),
        station("NL", QStringLiteral("R&B Lounge"), kRnbUrl, "r&b,soul", 40),
        station("NL", QStringLiteral("Jazz <Live> FM"), kJazzUrl, "jazz", 30),
        station("GB", QStringLiteral("Rock & Roll Radio"), kRockUrl, "rock and roll", 20),
        station("GB", QStringLiteral("London Talk"), kTalkUrl, "talk,news", 10),
        station("DE", QStringLiteral("Klassik Jazz"), kKlassikUrl, "classical", 5),
    };
}

QByteArray md5(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex().toUpper();
}

QByteArray enc(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

// A list must stay parseable: after taking out the tags, no "<" or ">" is left.
bool tagsBalanced(QByteArray body)
{
    for (const char *tag : {"naam", "url", "homepage", "bestand"}) {
        body.replace(QByteArray("<") + tag + '>', "");
        body.replace(QByteArray("</") + tag + '>', "");
    }
    return !body.contains('<') && !body.contains('>');
}

QByteArrayList fieldValues(const QByteArray &body, const QByteArray &tag)
{
    QByteArrayList values;
    const QRegularExpression field(QStringLiteral("<%1>(.*?)</%1>").arg(QString::fromLatin1(tag)),
                                   QRegularExpression::DotMatchesEverythingOption);
    for (auto it = field.globalMatch(QString::fromUtf8(body)); it.hasNext();)
        values.append(it.next().captured(1).toUtf8());
    return values;
}

// The test database is shared by every test that uses scripts/pg-test-db (they hold the
// ctest resource lock "norvale_postgresql"); each starts from an empty schema.
bool emptyPostgresql(const QString &url)
{
    QProcess psql;
    psql.start(QStringLiteral("psql"),
               {QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-c"),
                QStringLiteral("SET client_min_messages = warning; DROP SCHEMA public CASCADE; "
                               "CREATE SCHEMA public;"),
                url});
    return psql.waitForFinished(30000) && psql.exitStatus() == QProcess::NormalExit && psql.exitCode() == 0;
}

} // namespace

class TestDirectoryHttp final : public QObject
{
    Q_OBJECT

private:
    // Each case speaks as a client of its own, so play de-duplication and the report
    // limit of one case never touch another (also across runs on a shared database).
    QHostAddress newClient()
    {
        auto *random = QRandomGenerator::global();
        return QHostAddress(QStringLiteral("127.%1.%2.%3")
                                .arg(random->bounded(1, 255))
                                .arg(random->bounded(0, 256))
                                .arg(random->bounded(1, 255)));
    }
    qint64 playsOf(const QString &url)
    {
        const CatalogueStation *s = m_store->snapshot()->stationByUrl(url);
        return s ? s->playCount : -1;
    }
    bool reportStored(const QString &url, const QString &name, ReportReason reason)
    {
        m_store->flush();
        for (const BrokenReport &report : m_store->recentReports(50)) {
            if (report.url == url && report.stationName == name && report.reason == reason)
                return true;
        }
        return false;
    }

    QTemporaryDir m_dir;
    QString m_database;
    std::unique_ptr<DirectoryStore> m_store;
    RequestLog m_log {nullptr};
    std::unique_ptr<DirectoryService> m_service;
    std::unique_ptr<HttpServer> m_server;
    quint16 m_port = 0;
    QByteArray m_gbList;

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray backend = qgetenv("NORVALE_TEST_DATABASE");
        if (backend == "postgresql") {
            const QString script = QStringLiteral(NORVALE_SOURCE_DIR "/scripts/pg-test-db");
            QProcess pg;
            pg.start(script, QStringList {});
            if (!pg.waitForFinished(60000) || pg.exitCode() != 0) {
                QSKIP(qPrintable(QStringLiteral("PostgreSQL could not be started (%1): %2")
                                     .arg(script, QString::fromLocal8Bit(pg.readAllStandardError()).trimmed())));
            }
            m_database = QString::fromUtf8(pg.readAllStandardOutput()).trimmed().split(QLatin1Char('\n')).last();
            QVERIFY2(emptyPostgresql(m_database), "could not empty the test database");
        } else {
            QVERIFY(m_dir.isValid());
            m_database = m_dir.filePath(QStringLiteral("directory.sqlite"));
        }
        StoreOptions options;
        options.flushIntervalMs = 50;
        options.snapshotRefreshSeconds = 3600;
        StoreResult result;
        m_store = DirectoryStore::open(m_database, options, &result);
        QVERIFY2(m_store && result.ok(), qPrintable(result.message));
        QVERIFY2(m_store->replaceCatalogue(fixtureCatalogue()).ok(), "catalogue not stored");
        for (const CatalogueCountry *country : m_store->snapshot()->countries()) {
            if (country->code == QLatin1String("GB"))
                m_gbList = country->bestand.toUtf8();
        }
        QVERIFY(!m_gbList.isEmpty());

        DirectoryService::Options serviceOptions;
        serviceOptions.clock = [] {
            return qint64(0);
        }; // the report limit never refills here
        m_service = std::make_unique<DirectoryService>(m_store.get(), &m_log, serviceOptions);
        HttpServer::Options httpOptions;
        httpOptions.port = 0;
        httpOptions.idleSeconds = 5;
        m_server = std::make_unique<HttpServer>(
            httpOptions, [this](const HttpRequest &request) { return m_service->handle(request); }, &m_log);
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
        m_port = m_server->port();
    }

    void cleanupTestCase()
    {
        if (m_server)
            m_server->stop();
        if (m_store)
            m_store->flush();
    }

    void paths_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArrayList>("present");
        QTest::addColumn<QByteArrayList>("absent");

        const QByteArray text = "text/plain; charset=utf-8";
        const QByteArray html = "text/html; charset=utf-8";
        const QByteArray search = "/radio/inter/zenders/radio-lijst-zoek.php?zoeken=";

        QTest::newRow("countries dutch") << QByteArray("/radio/inter/keuze.txt") << 200 << text
                                         << QByteArrayList {"<naam>Nederland</naam>", "<bestand>holland.txt</bestand>"}
                                         << QByteArrayList {"Netherlands"};
        QTest::newRow("countries english")
            << QByteArray("/radio/inter/keuze-uk.txt") << 200 << text
            << QByteArrayList {"<naam>Netherlands</naam>", "<bestand>holland.txt</bestand>"}
            << QByteArrayList {"<naam>Nederland</naam>"};
        QTest::newRow("station list") << QByteArray("/radio/inter/zenders/holland.txt") << 200 << text
                                      << QByteArrayList {"<naam>Radio Één</naam>", "<url>http://127.0.0.1:9/</url>",
                                                         "R&B Lounge", "Jazz"}
                                      << QByteArrayList {"Rock & Roll", "<Live>"};
        QTest::newRow("list name in capitals") << QByteArray("/radio/inter/zenders/HOLLAND.TXT") << 200 << text
                                               << QByteArrayList {"Radio Één"} << QByteArrayList {};
        QTest::newRow("other country") << "/radio/inter/zenders/" + m_gbList << 200 << text
                                       << QByteArrayList {"Rock & Roll Radio", "London Talk"}
                                       << QByteArrayList {"Radio Één"};
        QTest::newRow("unknown list") << QByteArray("/radio/inter/zenders/nergens.txt") << 404 << text
                                      << QByteArrayList {} << QByteArrayList {"<naam>"};
        QTest::newRow("list outside the folder") << QByteArray("/radio/inter/zenders/..%2Fkeuze.txt") << 404 << text
                                                 << QByteArrayList {} << QByteArrayList {"<naam>"};
        QTest::newRow("no list named") << QByteArray("/radio/inter/zenders/") << 404 << text << QByteArrayList {}
                                       << QByteArrayList {};
        QTest::newRow("unknown path") << QByteArray("/radio/inter/geheim.php") << 404 << text << QByteArrayList {}
                                      << QByteArrayList {};
        QTest::newRow("health") << QByteArray("/health") << 200 << text << QByteArrayList {"ok", "6 stations"}
                                << QByteArrayList {};

        QTest::newRow("search in one country") << search + "jazz&land=holland" << 200 << text
                                               << QByteArrayList {"<naam>Jazz"} << QByteArrayList {"Klassik"};
        QTest::newRow("search everywhere")
            << search + "jazz&land=" << 200 << text << QByteArrayList {"<naam>Jazz", "<naam>Klassik Jazz</naam>"}
            << QByteArrayList {"Radio Één"};
        QTest::newRow("search ignores case")
            << search + "JAZZ&land=HOLLAND" << 200 << text << QByteArrayList {"<naam>Jazz"} << QByteArrayList {};
        QTest::newRow("search by tag") << search + "soul&land=" << 200 << text << QByteArrayList {"R&B Lounge"}
                                       << QByteArrayList {"Jazz"};
        QTest::newRow("empty search") << search + "&land=" << 200 << text << QByteArrayList {}
                                      << QByteArrayList {"<naam>"};
        QTest::newRow("blank search") << search + "%20%20&land=holland" << 200 << text << QByteArrayList {}
                                      << QByteArrayList {"<naam>"};
        QTest::newRow("encoded ampersand") << search + "r%26b&land=" << 200 << text
                                           << QByteArrayList {"<naam>R&B Lounge</naam>"} << QByteArrayList {"Jazz"};
        QTest::newRow("encoded blanks and ampersand")
            << search + "rock%20%26%20roll&land=" << 200 << text << QByteArrayList {"<naam>Rock & Roll Radio</naam>"}
            << QByteArrayList {"Radio Één"};
        QTest::newRow("raw ampersand of an old client")
            << search + "R&B&land=holland" << 200 << text << QByteArrayList {"<naam>R&B Lounge</naam>"}
            << QByteArrayList {"Jazz"};
        QTest::newRow("utf-8 word") << search + "%C3%A9%C3%A9n&land=" << 200 << text
                                    << QByteArrayList {"<naam>Radio Één</naam>"} << QByteArrayList {};
        QTest::newRow("unknown country") << search + "jazz&land=atlantis" << 200 << text << QByteArrayList {}
                                         << QByteArrayList {"<naam>"};
        QTest::newRow("sql in the word") << search + "%27%20OR%20%271%27%3D%271&land=" << 200 << text
                                         << QByteArrayList {} << QByteArrayList {"<naam>"};
        QTest::newRow("like wildcard") << search + "%25&land=" << 200 << text << QByteArrayList {}
                                       << QByteArrayList {"<naam>"};
        QTest::newRow("sql in the country")
            << search + "jazz&land=holland%27--" << 200 << text << QByteArrayList {} << QByteArrayList {"<naam>"};
        QTest::newRow("invalid utf-8 word")
            << search + "%FF%FEjazz&land=" << 200 << text << QByteArrayList {} << QByteArrayList {"<naam>"};

        const QByteArray site = "/radio/inter/website/index.php?wat=";
        QTest::newRow("home dutch") << site + "home&lang=Nederlands&versie=3.0" << 200 << html
                                    << QByteArrayList {"Populair", "Radio Één", "Stemmen", "lang=\"nl\""}
                                    << QByteArrayList {"Popular"};
        QTest::newRow("home english") << site + "home&lang=english&versie=3.0" << 200 << html
                                      << QByteArrayList {"Popular", "Votes", "lang=\"en\""}
                                      << QByteArrayList {"Populair"};
        QTest::newRow("dutch needs its exact name")
            << site + "home&lang=nederlands" << 200 << html << QByteArrayList {"Popular"} << QByteArrayList {};
        QTest::newRow("about dutch") << site + "over&lang=Nederlands&versie=3.0" << 200 << html
                                     << QByteArrayList {"Over Norvale", "radio-browser.info"} << QByteArrayList {};
        QTest::newRow("about english") << site + "over&lang=English&versie=3.0" << 200 << html
                                       << QByteArrayList {"About Norvale", "radio-browser.info"} << QByteArrayList {};
        QTest::newRow("problem page dutch")
            << site + "melding&lang=Nederlands&zenderurl=" + enc(kJazzUrl) + "&zendernaam=Jazz&zenderland=Nederland"
            << 200 << html
            << QByteArrayList {"Storing melden", "Geen geluid",      "Verkeerde zender",    "Stream is verhuisd",
                               "Iets anders",    "reden=geengeluid", "jazz.example.nl:8000"}
            << QByteArrayList {"<form", "<script"};
        QTest::newRow("problem page english")
            << site + "melding&lang=English&zenderurl=" + enc(kJazzUrl) + "&zendernaam=Jazz&zenderland=Netherlands"
            << 200 << html
            << QByteArrayList {"Report a problem", "No sound", "Wrong station", "Stream has moved", "Something else"}
            << QByteArrayList {"<form", "<script"};
        QTest::newRow("problem page without station")
            << site + "melding&lang=English" << 200 << html << QByteArrayList {"nothing to report"}
            << QByteArrayList {"reden="};
        QTest::newRow("first run") << QByteArray("/radio/inter/website/firstrun") << 200 << html
                                   << QByteArrayList {"Welkom", "Welcome"} << QByteArrayList {"<script"};
    }

    void paths()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        QFETCH(QByteArrayList, present);
        QFETCH(QByteArrayList, absent);

        const HttpTestReply reply = httpGet(m_port, target, newClient());
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.header("content-type"), type);
        for (const QByteArray &text : present)
            QVERIFY2(reply.body.contains(text), text.constData());
        for (const QByteArray &text : absent)
            QVERIFY2(!reply.body.contains(text), text.constData());
        if (type.startsWith("text/plain") && status == 200)
            QVERIFY(tagsBalanced(reply.body));
        if (type.startsWith("text/html"))
            QVERIFY(QString::fromUtf8(reply.body).toUtf8() == reply.body); // valid UTF-8
    }

    void listsAreOrderedByPlaysThenVotes()
    {
        const HttpTestReply reply = httpGet(m_port, "/radio/inter/zenders/holland.txt");
        const QByteArrayList urls = fieldValues(reply.body, "url");
        const QByteArrayList names = fieldValues(reply.body, "naam");
        QCOMPARE(urls.size(), 3);
        QCOMPARE(names.size(), 3);
        QCOMPARE(fieldValues(reply.body, "homepage").size(), 3);
        // Same position, same station: the player relates the lists only by position.
        qsizetype jazz = -1;
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names[i].startsWith("Jazz"))
                jazz = i;
        }
        QCOMPARE(urls.indexOf(kJazzUrl.toUtf8()), jazz);
    }

    void ask_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("recordable") << "zenderurl=" + md5(kRecordableUrl) << QByteArray("\n127.0.0.1:9");
        QTest::newRow("recordable, lower-case digest")
            << "zenderurl=" + md5(kRecordableUrl).toLower() << QByteArray("\n127.0.0.1:9");
        QTest::newRow("default port") << "zenderurl=" + md5(kTalkUrl) << QByteArray("\ntalk.example.co.uk:80");
        QTest::newRow("other port") << "zenderurl=" + md5(kRockUrl) << QByteArray("\nrock.example.co.uk:8010");
        QTest::newRow("https stream") << "zenderurl=" + md5(kRnbUrl) << QByteArray();
        QTest::newRow("stream below a path") << "zenderurl=" + md5(kJazzUrl) << QByteArray();
        QTest::newRow("unknown digest") << "zenderurl=" + md5(QStringLiteral("http://nowhere/")) << QByteArray();
        QTest::newRow("not a digest") << QByteArray("zenderurl=http://127.0.0.1:9/") << QByteArray();
        QTest::newRow("digest too long") << "zenderurl=" + md5(kRecordableUrl) + "0" << QByteArray();
        QTest::newRow("nothing asked") << QByteArray() << QByteArray();
    }

    void ask()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, body);
        const HttpTestReply reply = httpGet(m_port, "/radio/inter/shoutcast/ask.php?" + query);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.header("content-type"), QByteArray("text/plain; charset=utf-8"));
        QCOMPARE(reply.body, body);
    }

    void reports_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("playedUrl");
        QTest::addColumn<int>("plays");
        QTest::addColumn<int>("recorderFailures");
        QTest::addColumn<int>("firstRuns");

        QTest::newRow("play") << "meld=" + enc("zender_" + kRockUrl) + "&versie=3.0" << QByteArray("OK") << kRockUrl
                              << 1 << 0 << 0;
        QTest::newRow("play, address with ampersands, sent raw")
            << "meld=zender_" + kRnbUrl.toUtf8() + "&versie=3.0" << QByteArray("OK") << kRnbUrl << 1 << 0 << 0;
        QTest::newRow("play of an unknown station") << "meld=" + enc("zender_http://spam.example/") + "&versie=3.0"
                                                    << QByteArray("unknown station") << QString() << 0 << 0 << 0;
        QTest::newRow("recorder failure")
            << "meld=" + enc("shoutc_" + kTalkUrl) + "&versie=3.0" << QByteArray("OK") << kTalkUrl << 0 << 1 << 0;
        QTest::newRow("first run") << QByteArray("meld=vfirst&versie=3.0") << QByteArray("OK") << QString() << 0 << 0
                                   << 1;
        QTest::newRow("other text") << QByteArray("meld=hallo%20daar&versie=3.0") << QByteArray("ignored") << QString()
                                    << 0 << 0 << 0;
        QTest::newRow("sql in the text") << "meld=" + enc("zender_x'); DROP TABLE stations;--") + "&versie=3.0"
                                         << QByteArray("unknown station") << QString() << 0 << 0 << 0;
        QTest::newRow("invalid utf-8") << QByteArray("meld=zender_http%3A%2F%2Fa%C3%28&versie=3.0")
                                       << QByteArray("ignored") << QString() << 0 << 0 << 0;
        QTest::newRow("no text") << QByteArray("versie=3.0") << QByteArray("ignored") << QString() << 0 << 0 << 0;
    }

    void reports()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, answer);
        QFETCH(QString, playedUrl);
        QFETCH(int, plays);
        QFETCH(int, recorderFailures);
        QFETCH(int, firstRuns);

        m_store->flush();
        const DirectoryStore::Counts before = m_store->counts();
        const qint64 playsBefore = playedUrl.isEmpty() ? 0 : playsOf(playedUrl);

        const HttpTestReply reply = httpGet(m_port, "/radio/inter/meld/index.php?" + query, newClient());
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, answer);

        m_store->flush();
        const DirectoryStore::Counts after = m_store->counts();
        QCOMPARE(after.plays - before.plays, qint64(plays));
        QCOMPARE(after.recorderFailures - before.recorderFailures, qint64(recorderFailures));
        QCOMPARE(after.firstRuns - before.firstRuns, qint64(firstRuns));
        QCOMPARE(after.brokenReports, before.brokenReports);
        if (!playedUrl.isEmpty())
            QCOMPARE(playsOf(playedUrl) - playsBefore, qint64(plays));
    }

    void playCountsOncePerClient()
    {
        const QHostAddress client = newClient();
        const QByteArray target = "/radio/inter/meld/index.php?meld=" + enc("zender_" + kKlassikUrl) + "&versie=3.0";
        m_store->flush();
        const qint64 before = playsOf(kKlassikUrl);
        QCOMPARE(httpGet(m_port, target, client).body, QByteArray("OK"));
        QCOMPARE(httpGet(m_port, target, client).body, QByteArray("OK"));
        QCOMPARE(httpGet(m_port, target, newClient()).body, QByteArray("OK"));
        m_store->flush();
        QCOMPARE(playsOf(kKlassikUrl) - before, qint64(2));

        // The home page follows the counts: the most played station heads it.
        const QByteArray home = httpGet(m_port, "/radio/inter/website/index.php?wat=home&lang=Nederlands").body;
        QVERIFY(home.contains("Nu populair"));
        QVERIFY(home.indexOf("Klassik Jazz") >= 0);
        QVERIFY(home.indexOf("Klassik Jazz") < home.indexOf("Rock &amp; Roll Radio"));
    }

    void reportLimitPerClient()
    {
        const QHostAddress client = newClient();
        m_store->flush();
        const qint64 before = m_store->counts().firstRuns;
        HttpTestConnection connection(m_port, client);
        int accepted = 0;
        int refused = 0;
        for (int i = 0; i < 35; ++i) {
            const HttpTestReply reply = connection.get("/radio/inter/meld/index.php?meld=vfirst&versie=3.0");
            if (reply.status == 200)
                ++accepted;
            else if (reply.status == 429)
                ++refused;
        }
        QCOMPARE(accepted, 30);
        QCOMPARE(refused, 5);

        // A broken-station report over the limit is refused as well, and not stored.
        const QByteArray link = "/radio/inter/website/index.php?wat=melding&lang=English&reden=geengeluid&zenderurl="
            + enc(kTalkUrl) + "&zendernaam=Limited&zenderland=UK";
        QCOMPARE(connection.get(link).status, 429);
        QVERIFY(!reportStored(kTalkUrl, QStringLiteral("Limited"), ReportReason::NoSound));

        // Another client is not affected.
        QCOMPARE(httpGet(m_port, "/radio/inter/meld/index.php?meld=vfirst&versie=3.0", newClient()).status, 200);
        m_store->flush();
        QCOMPARE(m_store->counts().firstRuns - before, qint64(31));
        // Reading is never limited.
        QCOMPARE(connection.get("/radio/inter/keuze.txt").status, 200);
    }

    void problemFormRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("linkText");
        QTest::addColumn<int>("reason");

        QTest::newRow("encoded, no sound")
            << "lang=English&zenderurl=" + enc(kRnbUrl) + "&zendernaam=" + enc(QStringLiteral("R&B Lounge"))
                + "&zenderland=Netherlands"
            << kRnbUrl << QStringLiteral("R&B Lounge") << QStringLiteral("No sound") << int(ReportReason::NoSound);
        QTest::newRow("raw values of an old client, wrong station")
            << QByteArray("lang=Nederlands&zenderurl=http://old.example.nl/live?a=1&b=2&zendernaam=Oud & Nieuw "
                          "FM&zenderland=Nederland")
            << QStringLiteral("http://old.example.nl/live?a=1&b=2") << QStringLiteral("Oud & Nieuw FM")
            << QStringLiteral("Verkeerde zender") << int(ReportReason::WrongStation);
        QTest::newRow("sql in the name, stream moved")
            << "lang=English&zenderurl=" + enc(kRockUrl)
                + "&zendernaam=" + enc(QStringLiteral("x'); DELETE FROM reports;--")) + "&zenderland=UK"
            << kRockUrl << QStringLiteral("x'); DELETE FROM reports;--") << QStringLiteral("Stream has moved")
            << int(ReportReason::StreamMoved);
        QTest::newRow("utf-8 name, other") << "lang=English&zenderurl=" + enc(kRecordableUrl)
                + "&zendernaam=" + enc(QStringLiteral("Radio Één")) + "&zenderland=Nederland"
                                           << kRecordableUrl << QStringLiteral("Radio Één")
                                           << QStringLiteral("Something else") << int(ReportReason::Other);
    }

    void problemFormRoundTrip()
    {
        QFETCH(QByteArray, query);
        QFETCH(QString, url);
        QFETCH(QString, name);
        QFETCH(QString, linkText);
        QFETCH(int, reason);

        const QHostAddress client = newClient();
        const QString pageUrl = QStringLiteral("http://127.0.0.1/radio/inter/website/index.php");
        const HttpTestReply form = httpGet(m_port, "/radio/inter/website/index.php?wat=melding&" + query, client);
        QCOMPARE(form.status, 200);
        const QString html = QString::fromUtf8(form.body);
        QVERIFY2(html.contains(name.toHtmlEscaped()), qPrintable(html));
        QVERIFY(!html.contains(QLatin1String("<form")));

        // Follow the link as a browser would: resolve it against the page, after undoing
        // the HTML escaping of the attribute.
        const QRegularExpression anchor(QStringLiteral("<a href=\"([^\"]*)\">([^<]*)</a>"));
        QString href;
        for (auto it = anchor.globalMatch(html); it.hasNext();) {
            const auto match = it.next();
            if (match.captured(2) == linkText)
                href = match.captured(1).replace(QLatin1String("&amp;"), QLatin1String("&"));
        }
        QVERIFY2(!href.isEmpty(), qPrintable(html));
        const QUrl target = QUrl(pageUrl).resolved(QUrl(href, QUrl::StrictMode));
        const HttpTestReply thanks =
            httpGet(m_port, target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority), client);
        QCOMPARE(thanks.status, 200);
        QVERIFY(thanks.body.contains("Thank you") || thanks.body.contains("Bedankt"));
        QVERIFY(reportStored(url, name, ReportReason(reason)));
    }

    void brokenReportsRefused_data()
    {
        QTest::addColumn<QByteArray>("query");

        QTest::newRow("unknown reason") << "reden=kapot&zenderurl=" + enc(kRockUrl)
                + "&zendernaam=Refused1&zenderland=UK";
        QTest::newRow("no address") << QByteArray("reden=geengeluid&zenderurl=&zendernaam=Refused2&zenderland=UK");
        QTest::newRow("not an address") << QByteArray("reden=geengeluid&zenderurl=javascript%3Aalert(1)&zendernaam="
                                                      "Refused3&zenderland=UK");
        QTest::newRow("invalid utf-8") << "reden=geengeluid&zenderurl=" + enc(kRockUrl)
                + "&zendernaam=Refused4%FF&zenderland=UK";
        QTest::newRow("control characters")
            << "reden=geengeluid&zenderurl=" + enc(kRockUrl) + "&zendernaam=Refused5%0D%0AX&zenderland=UK";
        QTest::newRow("name too long") << "reden=geengeluid&zenderurl=" + enc(kRockUrl) + "&zendernaam=Refused6"
                + QByteArray(300, 'x') + "&zenderland=UK";
    }

    void brokenReportsRefused()
    {
        QFETCH(QByteArray, query);
        m_store->flush();
        const qint64 before = m_store->counts().brokenReports;
        const HttpTestReply reply =
            httpGet(m_port, "/radio/inter/website/index.php?wat=melding&lang=English&" + query, newClient());
        QCOMPARE(reply.status, 400);
        QVERIFY(reply.body.contains("Report not stored"));
        m_store->flush();
        QCOMPARE(m_store->counts().brokenReports, before);
    }

    void pagesEscapeValues_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArrayList>("absent");

        QTest::newRow("script in the name") << "zenderurl=" + enc(kRockUrl)
                + "&zendernaam=" + enc(QStringLiteral("<script>alert(1)</script>"))
                + "&zenderland=UK" << QByteArrayList {"<script"};
        QTest::newRow("attribute break in the address") << "zenderurl="
                + enc(QStringLiteral("http://x.example/\"onmouseover=\"alert(1)"))
                + "&zendernaam=X&zenderland=UK" << QByteArrayList {"\"onmouseover", "\"alert"};
        QTest::newRow("markup in the country")
            << "zenderurl=" + enc(kRockUrl) + "&zendernaam=X&zenderland=" + enc(QStringLiteral("<img src=x>"))
            << QByteArrayList {"<img"};
        QTest::newRow("markup in the language")
            << "zenderurl=" + enc(kRockUrl) + "&zendernaam=X&zenderland=UK&lang=" + enc(QStringLiteral("\"><b>x"))
            << QByteArrayList {"<b>x"};
    }

    void pagesEscapeValues()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArrayList, absent);
        const HttpTestReply reply = httpGet(m_port, "/radio/inter/website/index.php?wat=melding&" + query);
        QCOMPARE(reply.status, 200);
        for (const QByteArray &text : absent)
            QVERIFY2(!reply.body.contains(text), text.constData());
    }

    void etagAndHead()
    {
        HttpTestConnection connection(m_port);
        const HttpTestReply first = connection.get("/radio/inter/zenders/holland.txt");
        QCOMPARE(first.status, 200);
        const QByteArray etag = first.header("etag");
        QVERIFY(etag.startsWith('"') && etag.endsWith('"'));

        const HttpTestReply same =
            connection.get("/radio/inter/zenders/holland.txt", "If-None-Match: " + etag + "\r\n");
        QCOMPARE(same.status, 304);
        QVERIFY(same.body.isEmpty());
        QCOMPARE(same.header("etag"), etag);
        QCOMPARE(
            connection.get("/radio/inter/zenders/holland.txt", "If-None-Match: \"other\", " + etag + "\r\n").status,
            304);
        QCOMPARE(connection.get("/radio/inter/zenders/holland.txt", "If-None-Match: W/" + etag + "\r\n").status, 304);
        QCOMPARE(connection.get("/radio/inter/zenders/holland.txt", "If-None-Match: \"other\"\r\n").status, 200);
        QCOMPARE(connection.get("/radio/inter/keuze.txt", "If-None-Match: " + etag + "\r\n").status, 200);

        connection.send("HEAD /radio/inter/zenders/holland.txt HTTP/1.1\r\nHost: x\r\n\r\n");
        const HttpTestReply head = connection.read(true);
        QCOMPARE(head.status, 200);
        QCOMPARE(head.header("content-length").toLongLong(), first.body.size());
        QCOMPARE(head.header("etag"), etag);
        // The connection is still in step: the next answer is the next request's.
        QCOMPARE(connection.get("/health").status, 200);
    }

    void hostileRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("closes");

        const QByteArray host = "Host: 127.0.0.1\r\n";
        QTest::newRow("1 MB query") << "GET /radio/inter/zenders/radio-lijst-zoek.php?zoeken="
                + QByteArray(1 << 20, 'a') + "&land= HTTP/1.1\r\n" + host
                + "\r\n" << 414 << true;
        QTest::newRow("5 KB query") << "GET /radio/inter/meld/index.php?meld=zender_" + QByteArray(5000, 'a')
                + " HTTP/1.1\r\n" + host
                + "\r\n" << 414 << true;
        QTest::newRow("20 KB of headers") << "GET /health HTTP/1.1\r\n" + host + "X-Filler: " + QByteArray(20000, 'b')
                + "\r\n\r\n" << 431 << true;
        QTest::newRow("body") << "POST /radio/inter/meld/index.php HTTP/1.1\r\n" + host
                + "Content-Length: 11\r\n\r\nmeld=vfirst"
                              << 413 << true;
        QTest::newRow("chunked body") << "POST /radio/inter/meld/index.php HTTP/1.1\r\n" + host
                + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
                                      << 413 << true;
        QTest::newRow("other method") << "DELETE /radio/inter/keuze.txt HTTP/1.1\r\n" + host + "\r\n" << 405 << true;
        QTest::newRow("not http") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 17) << 400
                                  << true;
        QTest::newRow("no target") << "GET\r\n" + host + "\r\n" << 400 << true;
        QTest::newRow("asterisk target") << "OPTIONS * HTTP/1.1\r\n" + host + "\r\n" << 400 << true;
        QTest::newRow("nul in the path") << "GET /radio/inter/zenders/holland.txt%00.php HTTP/1.1\r\n" + host + "\r\n"
                                         << 404 << false;
        QTest::newRow("raw blanks in the query")
            << "GET /radio/inter/zenders/radio-lijst-zoek.php?zoeken=rock & roll&land= HTTP/1.1\r\n" + host + "\r\n"
            << 200 << false;
        QTest::newRow("raw utf-8 in the query")
            << "GET /radio/inter/zenders/radio-lijst-zoek.php?zoeken=\xc3\xa9\xc3\xa9n&land= HTTP/1.1\r\n" + host
                + "\r\n"
            << 200 << false;
        QTest::newRow("absolute form") << "GET http://127.0.0.1/radio/inter/keuze.txt HTTP/1.1\r\n" + host + "\r\n"
                                       << 200 << false;
    }

    void hostileRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(bool, closes);

        m_store->flush();
        const DirectoryStore::Counts before = m_store->counts();
        HttpTestConnection connection(m_port, newClient());
        connection.send(request);
        const HttpTestReply reply = connection.read();
        QCOMPARE(reply.status, status);
        if (closes) {
            QCOMPARE(reply.header("connection"), QByteArray("close"));
            QVERIFY(connection.closedByServer());
        } else {
            QCOMPARE(connection.get("/health").status, 200);
        }
        m_store->flush();
        const DirectoryStore::Counts after = m_store->counts();
        QCOMPARE(after.plays, before.plays);
        QCOMPARE(after.firstRuns, before.firstRuns);
        QCOMPARE(after.brokenReports, before.brokenReports);
        // The server is still serving.
        QCOMPARE(httpGet(m_port, "/health").status, 200);
    }

    void connectionHandling_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("connectionHeader");
        QTest::addColumn<bool>("keptOpen");

        QTest::newRow("HTTP/1.1") << QByteArray("GET /radio/inter/keuze.txt HTTP/1.1\r\nHost: x\r\n\r\n")
                                  << QByteArray() << true;
        QTest::newRow("HTTP/1.1 close") << QByteArray(
            "GET /radio/inter/keuze.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                                        << QByteArray("close") << false;
        QTest::newRow("HTTP/1.0") << QByteArray("GET /radio/inter/keuze.txt HTTP/1.0\r\n\r\n") << QByteArray("close")
                                  << false;
        QTest::newRow("HTTP/1.0 close") << QByteArray(
            "GET /radio/inter/keuze.txt HTTP/1.0\r\nConnection: close\r\n\r\n")
                                        << QByteArray("close") << false;
        QTest::newRow("HTTP/1.0 keep-alive")
            << QByteArray("GET /radio/inter/keuze.txt HTTP/1.0\r\nConnection: keep-alive\r\n\r\n")
            << QByteArray("keep-alive") << true;
        QTest::newRow("bare LF line ends")
            << QByteArray("GET /radio/inter/keuze.txt HTTP/1.1\nHost: x\n\n") << QByteArray() << true;
        QTest::newRow("bare LF, HTTP/1.0 as an old recorder writes it")
            << QByteArray("GET /radio/inter/keuze.txt HTTP/1.0\n\n") << QByteArray("close") << false;
        QTest::newRow("leading empty line")
            << QByteArray("\r\nGET /radio/inter/keuze.txt HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray() << true;
    }

    void connectionHandling()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, connectionHeader);
        QFETCH(bool, keptOpen);

        const QByteArray expected = httpGet(m_port, "/radio/inter/keuze.txt").body;
        HttpTestConnection connection(m_port);
        connection.send(request);
        const HttpTestReply reply = connection.read();
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, expected);
        QCOMPARE(reply.header("connection"), connectionHeader);
        if (keptOpen) {
            connection.send(request);
            QCOMPARE(connection.read().body, expected);
        } else {
            QVERIFY(connection.closedByServer());
        }
    }

    void pipelinedRequestsAnswerInOrder()
    {
        HttpTestConnection connection(m_port);
        connection.send("GET /radio/inter/keuze.txt HTTP/1.1\r\nHost: x\r\n\r\n"
                        "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n"
                        "GET /health HTTP/1.1\r\nHost: x\r\n\r\n");
        QCOMPARE(connection.read().header("content-length").toInt() > 0, true);
        QCOMPARE(connection.read().status, 404);
        QVERIFY(connection.read().body.startsWith("ok"));
    }

    // Last: it changes the catalogue the other cases read.
    void reimportInvalidatesLists()
    {
        const HttpTestReply before = httpGet(m_port, "/radio/inter/zenders/holland.txt");
        const HttpTestReply countriesBefore = httpGet(m_port, "/radio/inter/keuze.txt");
        QList<CatalogueStation> catalogue = fixtureCatalogue();
        catalogue.append(
            station("NL", QStringLiteral("Nieuw FM"), QStringLiteral("http://nieuw.example.nl/"), "pop", 1));
        QVERIFY(m_store->replaceCatalogue(catalogue).ok());

        const HttpTestReply after =
            httpGet(m_port, "/radio/inter/zenders/holland.txt", {}, "If-None-Match: " + before.header("etag") + "\r\n");
        QCOMPARE(after.status, 200);
        QVERIFY(after.body.contains("Nieuw FM"));
        QVERIFY(after.header("etag") != before.header("etag"));
        // A list that did not change keeps its tag.
        QCOMPARE(
            httpGet(m_port, "/radio/inter/keuze.txt", {}, "If-None-Match: " + countriesBefore.header("etag") + "\r\n")
                .status,
            304);
        QVERIFY(m_store->replaceCatalogue(fixtureCatalogue()).ok());
    }
};

QTEST_GUILESS_MAIN(TestDirectoryHttp)
#include "tst_directory_http.moc"
