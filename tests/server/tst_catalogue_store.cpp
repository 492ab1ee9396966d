// The store over SQLite and over the shared PostgreSQL test database.

#include "ServerTestSupport.h"
#include "catalogue/RadioBrowserSync.h"
#include "catalogue/SqlDirectoryStore.h"
#include "catalogue/StationLogos.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kEen = QStringLiteral("http://een.example:8000/");
const QString kTwee = QStringLiteral("https://twee.example/live");

QList<CatalogueStation> smallCatalogue()
{
    return {
        makeStation("NL", "Radio Een", kEen, 5, "pop"),
        makeStation("NL", "Radio Twee", kTwee, 20, "jazz"),
        makeStation("NL", "Radio Drie", "http://drie.example/stream.mp3", 10, "rock"),
        makeStation("BE", "Radio Vier", "http://vier.example/", 1, "news"),
    };
}

std::unique_ptr<DirectoryStore> openStore(const QString &address)
{
    StoreResult r;
    auto store = DirectoryStore::open(address, &r);
    if (!r.ok())
        qWarning("open: %s", qPrintable(r.message));
    return store;
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

public:
    explicit TestStore(bool postgres)
        : m_postgres(postgres)
    { }

private:
    // A database no earlier case has touched.
    QString freshDatabase()
    {
        m_address = m_postgres ? m_pgAddress : m_dir.filePath(QStringLiteral("store-%1.db").arg(++m_serial));
        if (m_postgres && !emptyPostgresql(m_address))
            qWarning("could not empty the test database");
        return m_address;
    }
    std::unique_ptr<DirectoryStore> storeWithCatalogue()
    {
        auto store = openStore(freshDatabase());
        if (store && !store->replaceCatalogue(smallCatalogue()).ok())
            store.reset();
        return store;
    }
    const bool m_postgres;
    QString m_pgAddress;
    QString m_address; // the last fresh one
    QTemporaryDir m_dir;
    int m_serial = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QString why;
        if (m_postgres && (m_pgAddress = testPostgresql(&why)).isEmpty())
            QSKIP(qPrintable(why));
    }

    void importRejectsBadFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("broken JSON") << QByteArray("[{\"name\": \"x\", ");
        QTest::newRow("JSON object without stations") << QByteArray("{\"a\": 1}");
        QTest::newRow("CSV without url column") << QByteArray("country_code,name\nNL,X\n");
        QTest::newRow("no usable station") << QByteArray("country_code,name,url\nNL,X,ftp://x.example/\n");
        QTest::newRow("missing file") << QByteArray();
    }

    void importRejectsBadFiles()
    {
        QFETCH(QByteArray, content);
        auto store = storeWithCatalogue();
        QVERIFY(store);
        QFile f(m_dir.filePath(QStringLiteral("bad-%1").arg(++m_serial)));
        QVERIFY(content.isEmpty() || (f.open(QIODevice::WriteOnly) && f.write(content) == content.size()));
        f.close();
        QCOMPARE(store->importFiles({f.fileName()}).error, StoreError::BadInput);
        QCOMPARE(store->snapshot()->stationCount(), 4); // the catalogue is left as it was
    }

    // Only stations of the catalogue are reported, under its names (handling them is the HTTP test's).
    void brokenReports()
    {
        auto store = storeWithCatalogue();
        QVERIFY(store);
        const QDateTime at = QDateTime::currentDateTimeUtc();
        const BrokenReport hostile {kTwee, "Naam\r\n<b>'); DROP TABLE x;--", "X", ReportReason::WrongStation, at};
        store->recordBrokenReport({"http://vier.example/", "V", "V", ReportReason::Other, at.addSecs(-60)}, "9.9.9.9");
        store->recordBrokenReport(hostile, QStringLiteral("1.2.3.4"));
        store->recordBrokenReport({"http://x.example/'; DROP TABLE broken_reports;--", "", "", {}, at}, "1.2.3.4");
        store->flush();
        const QList<BrokenReport> reports = store->recentReports(10);
        QCOMPARE(reports.size(), 2);
        const BrokenReport &r = reports.first();
        QCOMPARE((QStringList {r.url, r.stationName, reports.at(1).countryName}),
                 (QStringList {kTwee, "Radio Twee", "Belgium"}));
        QVERIFY(r.reason == hostile.reason && r.at.toMSecsSinceEpoch() == at.toMSecsSinceEpoch());
        QCOMPARE(store->counts().brokenReports, 2);

        // A batch the database refuses is written by a later flush, not dropped.
        QVERIFY(execSql(m_address, {"ALTER TABLE broken_reports RENAME TO broken_reports_away"}));
        store->recordBrokenReport({kEen, "Radio Een", "Nederland", ReportReason::NoSound, at}, "5.5.5.5");
        store->flush();
        QCOMPARE(store->health().queuedReports, 1);
        QVERIFY(execSql(m_address, {"ALTER TABLE broken_reports_away RENAME TO broken_reports"}));
        store->flush();
        QCOMPARE(store->counts().brokenReports, 3);
        QCOMPARE(store->health().queuedReports, 0);
    }

    void localDemo()
    {
        auto store = storeWithCatalogue();
        QVERIFY(store);
        QVERIFY(addLocalDemo(*store, QStringLiteral("http://127.0.0.1:8642")).ok());
        QVERIFY(addLocalDemo(*store, QStringLiteral("http://127.0.0.1:8000/")).ok()); // replaces, no duplicates
        const auto snapshot = store->snapshot();
        QVERIFY(snapshot->countryByBestand(QStringLiteral("lokaal.txt")));
        QCOMPARE(snapshot->stationCount(), 6); // the demo's two once
        const CatalogueStation *tone = snapshot->stationByUrl(QStringLiteral("http://127.0.0.1:8000/"));
        QVERIFY(tone && snapshot->recordableAddress(tone->urlMd5) == QStringLiteral("127.0.0.1:8000"));
        // A new catalogue leaves the demo in place.
        QVERIFY(store->replaceCatalogue(smallCatalogue().mid(0, 2)).ok());
        QCOMPARE(store->snapshot()->stationCount(), 4);
        QVERIFY(store->snapshot()->countryByBestand(QStringLiteral("lokaal.txt")));
        QCOMPARE(addLocalDemo(*store, QStringLiteral("ftp://127.0.0.1/")).error, StoreError::BadInput);
    }

    // Logo files named by a stream address's MD5 (either case) or a station UUID; a logo goes with its station.
    void logoFolder()
    {
        auto store = storeWithCatalogue();
        QVERIFY(store);
        const auto snapshot = store->snapshot();
        const QString een = snapshot->stationByUrl(kEen)->urlMd5;
        const QString twee = snapshot->stationByUrl(kTwee)->urlMd5;
        QTemporaryDir folder;
        QImage picture(40, 20, QImage::Format_ARGB32);
        picture.fill(Qt::green);
        QVERIFY(picture.save(folder.filePath(een.toLower() + ".png")));
        QVERIFY(picture.save(folder.filePath(snapshot->stationByUrl(kTwee)->uuid + ".jpg"), "JPEG"));
        QVERIFY(picture.save(folder.filePath(QString(32, QLatin1Char('A')) + ".png")));

        const StoreResult r = StationLogos::importFolder(*store, folder.path());
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(r.message, QStringLiteral("2 logos imported; 1 files name no station, 0 are no usable picture"));
        const std::optional<StationLogo> logo = store->logo(een);
        QVERIFY(logo && store->logo(twee));
        QCOMPARE(logo->etag, store->snapshot()->stationByUrl(kEen)->logoEtag);
        QCOMPARE(QImage::fromData(logo->png).size(), QSize(40, 20));

        QVERIFY(store->replaceCatalogue(smallCatalogue().mid(1)).ok());
        QVERIFY(!store->logo(een));
        QVERIFY(store->logo(twee));
    }

    // Two stores on one database stand for a running server and an import next to it: the
    // server takes the new catalogue at its next flush, and plays outlive a new catalogue.
    void changeMadeElsewhere()
    {
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

        for (const char *client : {"1.2.3.4", "'); DELETE FROM plays;--", "\xff\xfe", "1.2.3.4"})
            server->recordPlay(kEen, QString::fromUtf8(client));
        server->flush();
        const auto played = server->snapshot();
        QCOMPARE(played->stationByUrl(kEen)->playCount, 3); // the repeated client once
        QList<CatalogueStation> next = smallCatalogue();
        next[1].name = QStringLiteral("Radio Twee (nieuw)");
        QVERIFY(importer->replaceCatalogue(next).ok());
        QCOMPARE(importer->snapshot()->stationByUrl(kEen)->playCount, 3);
        // The old snapshot stays whole for whoever still holds it.
        QCOMPARE(played->stationByUrl(kTwee)->name, QStringLiteral("Radio Twee"));
    }

    void migrationFromVersionOne()
    {
        const QString address = freshDatabase();
        // The schema as the first release left it, with one station and one report in it.
        const QString v1 = QStringLiteral(R"(CREATE TABLE schema_version (version INTEGER NOT NULL);
            INSERT INTO schema_version (version) VALUES (1);
            CREATE TABLE countries (code TEXT PRIMARY KEY, bestand TEXT NOT NULL, name_nl TEXT NOT NULL,
                name_en TEXT NOT NULL);
            CREATE TABLE stations (id ID, uuid TEXT NOT NULL, country_code TEXT NOT NULL, name TEXT NOT NULL,
                url TEXT NOT NULL, homepage TEXT NOT NULL, tags TEXT NOT NULL, codec TEXT NOT NULL,
                bitrate INTEGER NOT NULL, votes INTEGER NOT NULL, url_md5 TEXT NOT NULL);
            CREATE TABLE broken_reports (id ID, url TEXT NOT NULL, station_name TEXT NOT NULL,
                country_name TEXT NOT NULL, reason TEXT NOT NULL, client TEXT NOT NULL, reported_at BIGINT NOT NULL);
            INSERT INTO countries VALUES ('NL', 'holland.txt', 'Nederland', 'Netherlands');
            INSERT INTO stations (uuid, country_code, name, url, homepage, tags, codec, bitrate, votes, url_md5)
                VALUES ('u1', 'NL', 'Oud Station', 'http://oud.example/', '', '', 'MP3', 128, 3,
                '5E2E1A6E8C0A0D6A1F8B3D1E9F3C2B1A');
            INSERT INTO broken_reports (url, station_name, country_name, reason, client, reported_at)
                VALUES ('http://oud.example/', 'Oud Station', 'Nederland', 'no-sound', 'x', 1000))");
        const QString id = m_postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT";
        QVERIFY(execSql(address, QString(v1).replace(QLatin1String(" ID,"), " " + id + ",").split(QLatin1Char(';'))));
        auto store = openStore(address);
        QVERIFY(store);
        QCOMPARE(store->snapshot()->stationCount(), 1);
        QCOMPARE(store->recentReports(5).size(), 1);
        QCOMPARE(store->recentReports(5).value(0).reason, ReportReason::NoSound);
        // The tables of the later versions work.
        store->recordPlay(QStringLiteral("http://oud.example/"), QStringLiteral("c"));
        store->recordFirstRun(QStringLiteral("c"));
        store->flush();
        QCOMPARE(store->snapshot()->stationByUrl(QStringLiteral("http://oud.example/"))->playCount, 1);
        QCOMPARE(store->counts().firstRuns, 1);
        store.reset();
        // Opening again does not migrate twice.
        QVERIFY(openStore(address));

        // A schema newer than this program is left alone.
        QVERIFY(execSql(address, {QString("UPDATE schema_version SET version = %1").arg(kDirectorySchemaVersion + 1)}));
        StoreResult r;
        QVERIFY(!DirectoryStore::open(address, &r));
        QCOMPARE(r.error, StoreError::SchemaTooNew);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestStore sqlite(false);
    TestStore postgres(true);
    return QTest::qExec(&sqlite, argc, argv) | QTest::qExec(&postgres, argc, argv);
}

#include "tst_catalogue_store.moc"
