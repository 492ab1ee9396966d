// The store over a real database: SQLite always, PostgreSQL when scripts/pg-test-db can
// start one (or NORVALE_TEST_PG names one); the same cases run against both.

#include "CatalogueTestSupport.h"
#include "RadioBrowserSync.h"
#include "SqlDirectoryStore.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestStore : public QObject
{
    Q_OBJECT

public:
    explicit TestStore(bool postgres)
        : m_postgres(postgres)
    { }

private Q_SLOTS:
    void initTestCase();
    void importShared();
    void importRejectsBadFiles_data();
    void importRejectsBadFiles();
    void plays_data();
    void plays();
    void reimportKeepsPlaysAndChangesEtag();
    void brokenReports_data();
    void brokenReports();
    void recorderFailuresAndFirstRuns();
    void localDemo();
    void changeMadeElsewhere();
    void migrationFromVersionOne();
    void schemaTooNew();
    void unusableAddress_data();
    void unusableAddress();

private:
    // A database no earlier case has touched.
    QString freshDatabase();
    std::unique_ptr<DirectoryStore> openStore(const QString &address);
    bool execAll(const QString &address, const QStringList &statements);
    QList<CatalogueStation> smallCatalogue() const;

    const bool m_postgres;
    QString m_pgAddress;
    QTemporaryDir m_dir;
    int m_serial = 0;
};

void TestStore::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (!m_postgres)
        return;
    m_pgAddress = qEnvironmentVariable("NORVALE_TEST_PG");
    if (m_pgAddress.isEmpty()) {
        QProcess script;
        script.start(QStringLiteral(NORVALE_SOURCE_DIR "/scripts/pg-test-db"), {});
        if (script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0)
            m_pgAddress = QString::fromUtf8(script.readAllStandardOutput()).trimmed();
    }
    if (m_pgAddress.isEmpty())
        QSKIP("PostgreSQL not available: set NORVALE_TEST_PG=postgresql://... or let scripts/pg-test-db start "
              "Debian's cluster");
}

QString TestStore::freshDatabase()
{
    if (!m_postgres)
        return m_dir.filePath(QStringLiteral("store-%1.db").arg(++m_serial));
    const bool ok = execAll(m_pgAddress,
                            {QStringLiteral("SET client_min_messages = warning"),
                             QStringLiteral("DROP SCHEMA public CASCADE"), QStringLiteral("CREATE SCHEMA public")});
    if (!ok)
        qWarning("could not empty the test database");
    return m_pgAddress;
}

bool TestStore::execAll(const QString &address, const QStringList &statements)
{
    const DatabaseAddress a = parseDatabaseAddress(address);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                                    QStringLiteral("test-direct"));
        if (m_postgres) {
            db.setHostName(a.host);
            db.setPort(a.port);
            db.setUserName(a.user);
            db.setPassword(a.password);
            db.setDatabaseName(a.database);
        } else {
            db.setDatabaseName(a.path);
        }
        ok = db.open();
        QSqlQuery q(db);
        for (const QString &sql : statements) {
            if (!ok)
                break;
            ok = q.exec(sql);
            if (!ok)
                qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test-direct"));
    return ok;
}

std::unique_ptr<DirectoryStore> TestStore::openStore(const QString &address)
{
    StoreResult r;
    auto store = DirectoryStore::open(address, &r);
    if (!r.ok())
        qWarning("open: %s", qPrintable(r.message));
    return store;
}

QList<CatalogueStation> TestStore::smallCatalogue() const
{
    return {
        makeStation("NL", "Radio Een", "http://een.example:8000/", 5, "pop"),
        makeStation("NL", "Radio Twee", "https://twee.example/live", 20, "jazz"),
        makeStation("NL", "Radio Drie", "http://drie.example/stream.mp3", 10, "rock"),
        makeStation("BE", "Radio Vier", "http://vier.example/", 1, "news"),
    };
}

void TestStore::importShared()
{
    const QString file = sharedStations() + QStringLiteral("/stations.csv");
    if (!QFile::exists(file))
        QSKIP("shared station data not found next to the checkout (../shared/data/stations)");
    auto store = openStore(freshDatabase());
    QVERIFY(store);
    QCOMPARE(store->snapshot()->stationCount(), 0);
    const StoreResult r = store->importFiles({file});
    QVERIFY2(r.ok(), qPrintable(r.message));
    const auto snapshot = store->snapshot();
    QCOMPARE(snapshot->stationCount(), 33637);
    QCOMPARE(snapshot->countries().size(), 51);
    const CatalogueCountry *nl = snapshot->countryByBestand(QStringLiteral("holland.txt"));
    QVERIFY(nl);
    QCOMPARE(nl->stationCount, 933);
    QCOMPARE(nl->nameDutch, QStringLiteral("Nederland"));
    QCOMPARE(parseStationList(QString::fromUtf8(snapshot->stationList(nl->bestand)->body)).url.size(), 933);

    // What was stored comes back the same after a restart.
    const QByteArray dutchList = snapshot->countryList(Language::Dutch).body;
    const QByteArray hollandEtag = snapshot->stationList(QStringLiteral("holland.txt"))->etag;
    const QString address = m_postgres ? m_pgAddress : m_dir.filePath(QStringLiteral("store-%1.db").arg(m_serial));
    store.reset();
    store = openStore(address);
    QVERIFY(store);
    QCOMPARE(store->snapshot()->stationCount(), 33637);
    QCOMPARE(store->snapshot()->countryList(Language::Dutch).body, dutchList);
    QCOMPARE(store->snapshot()->stationList(QStringLiteral("holland.txt"))->etag, hollandEtag);
}

void TestStore::importRejectsBadFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("broken JSON") << QByteArray("[{\"name\": \"x\", ");
    QTest::newRow("JSON object without stations") << QByteArray("{\"a\": 1}");
    QTest::newRow("CSV without url column") << QByteArray("country_code,name\nNL,X\n");
    QTest::newRow("no usable station") << QByteArray("country_code,name,url\nNL,X,ftp://x.example/\n");
}

void TestStore::importRejectsBadFiles()
{
    QFETCH(QByteArray, content);
    auto store = openStore(freshDatabase());
    QVERIFY(store);
    QVERIFY(store->replaceCatalogue(smallCatalogue()).ok());
    const QString path = m_dir.filePath(QStringLiteral("bad-%1").arg(++m_serial));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    const StoreResult r = store->importFiles({path});
    QCOMPARE(r.error, StoreError::BadInput);
    QCOMPARE(store->snapshot()->stationCount(), 4); // the catalogue is left as it was
    QCOMPARE(store->importFiles({m_dir.filePath(QStringLiteral("missing.csv"))}).error, StoreError::BadInput);
}

void TestStore::plays_data()
{
    QTest::addColumn<QStringList>("plays"); // "url|client" pairs
    QTest::addColumn<int>("expectedEen");
    QTest::addColumn<int>("expectedTwee");
    const QString een = QStringLiteral("http://een.example:8000/");
    const QString twee = QStringLiteral("https://twee.example/live");
    QTest::newRow("once per client and hour")
        << QStringList {een + "|1.2.3.4", een + "|1.2.3.4", een + "|1.2.3.4"} << 1 << 0;
    QTest::newRow("each client counts") << QStringList {een + "|1.2.3.4", een + "|5.6.7.8", twee + "|1.2.3.4"} << 2
                                        << 1;
    QTest::newRow("unknown URL not counted")
        << QStringList {"http://elders.example/|1.2.3.4", een + "x|1.2.3.4"} << 0 << 0;
    QTest::newRow("hostile client text") << QStringList {een + "|'); DELETE FROM plays;--", een + "|\xff\xfe"} << 2
                                         << 0;
}

void TestStore::plays()
{
    QFETCH(QStringList, plays);
    QFETCH(int, expectedEen);
    QFETCH(int, expectedTwee);
    auto store = openStore(freshDatabase());
    QVERIFY(store);
    QVERIFY(store->replaceCatalogue(smallCatalogue()).ok());
    for (const QString &p : plays)
        store->recordPlay(p.section(QLatin1Char('|'), 0, 0), p.section(QLatin1Char('|'), 1));
    store->flush();
    const auto snapshot = store->snapshot();
    QCOMPARE(snapshot->stationByUrl(QStringLiteral("http://een.example:8000/"))->playCount, expectedEen);
    QCOMPARE(snapshot->stationByUrl(QStringLiteral("https://twee.example/live"))->playCount, expectedTwee);
    QCOMPARE(store->counts().plays, expectedEen + expectedTwee);
    // The same plays once more within the hour change nothing.
    for (const QString &p : plays)
        store->recordPlay(p.section(QLatin1Char('|'), 0, 0), p.section(QLatin1Char('|'), 1));
    store->flush();
    QCOMPARE(store->snapshot()->stationByUrl(QStringLiteral("http://een.example:8000/"))->playCount, expectedEen);
}

void TestStore::reimportKeepsPlaysAndChangesEtag()
{
    auto store = openStore(freshDatabase());
    QVERIFY(store);
    QVERIFY(store->replaceCatalogue(smallCatalogue()).ok());
    const QByteArray before = store->snapshot()->stationList(QStringLiteral("holland.txt"))->etag;
    for (int client = 0; client < 3; ++client)
        store->recordPlay(QStringLiteral("http://een.example:8000/"), QString::number(client));
    store->flush();
    const auto played = store->snapshot();
    QVERIFY(played->stationList(QStringLiteral("holland.txt"))->etag != before);
    QCOMPARE(parseStationList(QString::fromUtf8(played->stationList(QStringLiteral("holland.txt"))->body)).naam.first(),
             QStringLiteral("Radio Een"));

    QList<CatalogueStation> next = smallCatalogue();
    next[1].name = QStringLiteral("Radio Twee (nieuw)");
    QVERIFY(store->replaceCatalogue(next).ok());
    const auto after = store->snapshot();
    QVERIFY(after != played);
    QVERIFY(after->stationList(QStringLiteral("holland.txt"))->etag
            != played->stationList(QStringLiteral("holland.txt"))->etag);
    QCOMPARE(after->stationByUrl(QStringLiteral("http://een.example:8000/"))->playCount, 3);
    // The old snapshot stays whole for whoever still holds it.
    QCOMPARE(played->stationByUrl(QStringLiteral("https://twee.example/live"))->name, QStringLiteral("Radio Twee"));
}

void TestStore::brokenReports_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("station");
    QTest::addColumn<int>("reason");
    QTest::newRow("plain") << "http://een.example:8000/"
                           << "Radio Een" << int(ReportReason::NoSound);
    QTest::newRow("SQL injection stored literally")
        << "http://x.example/'; DROP TABLE broken_reports;--"
        << "Robert'); DROP TABLE stations;--" << int(ReportReason::WrongStation);
    QTest::newRow("markup and line breaks") << "http://x.example/<script>"
                                            << "Naam\r\n<b>vet</b>" << int(ReportReason::StreamMoved);
    QTest::newRow("invalid UTF-8") << "http://x.example/" << QString::fromUtf8("Caf\xc3\x28\xff")
                                   << int(ReportReason::Other);
}

void TestStore::brokenReports()
{
    QFETCH(QString, url);
    QFETCH(QString, station);
    QFETCH(int, reason);
    auto store = openStore(freshDatabase());
    QVERIFY(store);
    QVERIFY(store->replaceCatalogue(smallCatalogue()).ok());
    BrokenReport older {QStringLiteral("http://vier.example/"), QStringLiteral("Radio Vier"), QStringLiteral("België"),
                        ReportReason::Other, QDateTime::currentDateTimeUtc().addSecs(-60)};
    store->recordBrokenReport(older, QStringLiteral("9.9.9.9"));
    const QDateTime at = QDateTime::currentDateTimeUtc();
    store->recordBrokenReport({url, station, QStringLiteral("Nederland"), ReportReason(reason), at},
                              QStringLiteral("1.2.3.4"));
    store->flush();
    const QList<BrokenReport> reports = store->recentReports(10);
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports.first().url, url);
    QCOMPARE(reports.first().stationName, QString(station).replace(QLatin1String("\r\n"), QLatin1String(" ")));
    QCOMPARE(reports.first().countryName, QStringLiteral("Nederland"));
    QCOMPARE(int(reports.first().reason), reason);
    QCOMPARE(reports.first().at.toMSecsSinceEpoch(), at.toMSecsSinceEpoch());
    QCOMPARE(reports.at(1).stationName, QStringLiteral("Radio Vier"));
    QCOMPARE(store->recentReports(1).size(), 1);
    QCOMPARE(store->snapshot()->stationCount(), 4);
    QCOMPARE(store->counts().brokenReports, 2);
}

void TestStore::recorderFailuresAndFirstRuns()
{
    const QString address = freshDatabase();
    {
        auto store = openStore(address);
        QVERIFY(store);
        store->recordRecorderFailure(QStringLiteral("http://een.example:8000/"), QStringLiteral("1.2.3.4"));
        store->recordRecorderFailure(QStringLiteral("http://een.example:8000/"), QStringLiteral("1.2.3.4"));
        store->recordRecorderFailure(QString(), QStringLiteral("1.2.3.4"));
        store->recordFirstRun(QStringLiteral("1.2.3.4"));
        // No flush(): closing the store writes what is queued.
    }
    auto store = openStore(address);
    QVERIFY(store);
    QCOMPARE(store->counts().recorderFailures, 2);
    QCOMPARE(store->counts().firstRuns, 1);
}

void TestStore::localDemo()
{
    auto store = openStore(freshDatabase());
    QVERIFY(store);
    QVERIFY(store->replaceCatalogue(smallCatalogue()).ok());
    QVERIFY(addLocalDemo(*store, QStringLiteral("http://127.0.0.1:8642")).ok());
    QVERIFY(addLocalDemo(*store, QStringLiteral("http://127.0.0.1:8000/")).ok()); // replaces, no duplicates
    auto snapshot = store->snapshot();
    const CatalogueCountry *demo = snapshot->countryByBestand(QStringLiteral("lokaal.txt"));
    QVERIFY(demo);
    QCOMPARE(demo->stationCount, 2);
    QCOMPARE(demo->nameDutch, QStringLiteral("Lokale demo"));
    QCOMPARE(demo->nameEnglish, QStringLiteral("Local demo"));
    const StationListText list =
        parseStationList(QString::fromUtf8(snapshot->stationList(QStringLiteral("lokaal.txt"))->body));
    QVERIFY(list.url.contains(QStringLiteral("http://127.0.0.1:8000/")));
    const CatalogueStation *tone = snapshot->stationByUrl(QStringLiteral("http://127.0.0.1:8000/"));
    QVERIFY(tone);
    QCOMPARE(snapshot->recordableAddress(tone->urlMd5).value_or(QString()), QStringLiteral("127.0.0.1:8000"));
    QCOMPARE(snapshot->stationCount(), 6);
    // A new catalogue leaves the demo in place.
    QVERIFY(store->replaceCatalogue(smallCatalogue().mid(0, 2)).ok());
    QCOMPARE(store->snapshot()->stationCount(), 4);
    QVERIFY(store->snapshot()->countryByBestand(QStringLiteral("lokaal.txt")));
    QCOMPARE(addLocalDemo(*store, QStringLiteral("ftp://127.0.0.1/")).error, StoreError::BadInput);
}

void TestStore::changeMadeElsewhere()
{
    // Two stores on one database stand for a running server and an import next to it.
    const QString address = freshDatabase();
    auto server = openStore(address);
    auto importer = openStore(address);
    QVERIFY(server && importer);
    QVERIFY(importer->replaceCatalogue(smallCatalogue()).ok());
    QCOMPARE(server->snapshot()->stationCount(), 0);
    server->flush();
    QCOMPARE(server->snapshot()->stationCount(), 4);
    const auto unchanged = server->snapshot();
    server->flush(); // nothing new: the snapshot stays
    QCOMPARE(server->snapshot(), unchanged);
    importer->recordPlay(QStringLiteral("http://een.example:8000/"), QStringLiteral("c"));
    importer->flush();
    QCOMPARE(importer->snapshot()->stationByUrl(QStringLiteral("http://een.example:8000/"))->playCount, 1);
}

void TestStore::migrationFromVersionOne()
{
    const QString address = freshDatabase();
    const QString id =
        m_postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    // The schema as the first release left it, with one station and one report in it.
    QVERIFY(
        execAll(address,
                {
                    QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
                    QStringLiteral("INSERT INTO schema_version (version) VALUES (1)"),
                    QStringLiteral("CREATE TABLE countries (code TEXT PRIMARY KEY, bestand TEXT NOT NULL, "
                                   "name_nl TEXT NOT NULL, name_en TEXT NOT NULL)"),
                    QStringLiteral("CREATE TABLE stations (id %1, uuid TEXT NOT NULL, country_code TEXT NOT NULL, "
                                   "name TEXT NOT NULL, url TEXT NOT NULL, homepage TEXT NOT NULL, tags TEXT NOT "
                                   "NULL, codec TEXT NOT NULL, bitrate INTEGER NOT NULL, votes INTEGER NOT NULL, "
                                   "url_md5 TEXT NOT NULL)")
                        .arg(id),
                    QStringLiteral("CREATE TABLE broken_reports (id %1, url TEXT NOT NULL, station_name TEXT NOT "
                                   "NULL, country_name TEXT NOT NULL, reason TEXT NOT NULL, client TEXT NOT NULL, "
                                   "reported_at BIGINT NOT NULL)")
                        .arg(id),
                    QStringLiteral("INSERT INTO countries VALUES ('NL', 'holland.txt', 'Nederland', 'Netherlands')"),
                    QStringLiteral("INSERT INTO stations (uuid, country_code, name, url, homepage, tags, codec, "
                                   "bitrate, votes, url_md5) VALUES ('u1', 'NL', 'Oud Station', "
                                   "'http://oud.example/', '', '', 'MP3', 128, 3, "
                                   "'5E2E1A6E8C0A0D6A1F8B3D1E9F3C2B1A')"),
                    QStringLiteral("INSERT INTO broken_reports (url, station_name, country_name, reason, client, "
                                   "reported_at) VALUES ('http://oud.example/', 'Oud Station', 'Nederland', "
                                   "'no-sound', 'x', 1000)"),
                }));
    auto store = openStore(address);
    QVERIFY(store);
    QCOMPARE(store->snapshot()->stationCount(), 1);
    QCOMPARE(store->recentReports(5).size(), 1);
    QCOMPARE(store->recentReports(5).first().reason, ReportReason::NoSound);
    // The tables of the later versions work.
    store->recordPlay(QStringLiteral("http://oud.example/"), QStringLiteral("c"));
    store->recordFirstRun(QStringLiteral("c"));
    store->flush();
    QCOMPARE(store->snapshot()->stationByUrl(QStringLiteral("http://oud.example/"))->playCount, 1);
    QCOMPARE(store->counts().firstRuns, 1);
    store.reset();
    // Opening again does not migrate twice.
    QVERIFY(openStore(address));
}

void TestStore::schemaTooNew()
{
    const QString address = freshDatabase();
    {
        auto store = openStore(address);
        QVERIFY(store);
    }
    QVERIFY(
        execAll(address, {QStringLiteral("UPDATE schema_version SET version = %1").arg(kDirectorySchemaVersion + 1)}));
    StoreResult r;
    QVERIFY(!DirectoryStore::open(address, &r));
    QCOMPARE(r.error, StoreError::SchemaTooNew);
}

void TestStore::unusableAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("postgres without database") << "postgresql://u:p@127.0.0.1:1/";
    QTest::newRow("postgres nobody listens") << "postgresql://u:p@127.0.0.1:1/db";
    QTest::newRow("sqlite in a missing folder") << "sqlite:/nonexistent-folder/x/y.db";
}

void TestStore::unusableAddress()
{
    if (m_postgres)
        QSKIP("the same for both databases; run once");
    QFETCH(QString, address);
    StoreResult r;
    QVERIFY(!DirectoryStore::open(address, &r));
    QCOMPARE(r.error, StoreError::CannotOpen);
    QVERIFY(!r.message.isEmpty());
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int failures = 0;
    {
        TestStore sqlite(false);
        failures += QTest::qExec(&sqlite, argc, argv);
    }
    {
        TestStore postgres(true);
        failures += QTest::qExec(&postgres, argc, argv);
    }
    return failures;
}

#include "tst_catalogue_store.moc"
