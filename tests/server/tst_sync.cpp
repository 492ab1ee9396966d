// The radio-browser sync against stand-ins of the API on loopback, serving the shared
// JSON files under the API's own paths: good servers, a closed port, a server that never
// answers, one that breaks half-way and one that answers nonsense.

#include "RadioBrowserSync.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

namespace {

enum class Behaviour { Good, Silent, StationsFail, Nonsense };

class FakeApi final : public QTcpServer
{
public:
    FakeApi(Behaviour behaviour, const QHash<QString, QJsonArray> &stations)
        : m_behaviour(behaviour)
        , m_stations(stations)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
            }
        });
    }

    QUrl base() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort())); }

    QStringList requests; // path?query of every request
    QSet<QByteArray> userAgents;

private:
    void onData(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.remove(0, end + 4);
        const QUrl target(QString::fromLatin1(lines.first().split(' ').value(1)));
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("user-agent:"))
                userAgents.insert(line.mid(11).trimmed());
        }
        requests.append(target.path() + QLatin1Char('?') + target.query());
        if (m_behaviour == Behaviour::Silent)
            return;
        int status = 200;
        QByteArray body;
        if (m_behaviour == Behaviour::Nonsense) {
            body = "<html>maintenance</html>";
        } else if (target.path() == QLatin1String("/json/countries")) {
            QJsonArray countries;
            for (auto it = m_stations.cbegin(); it != m_stations.cend(); ++it)
                countries.append(
                    QJsonObject {{"name", it.key()}, {"iso_3166_1", it.key()}, {"stationcount", it->size()}});
            countries.append(QJsonObject {{"name", "Nowhere"}, {"iso_3166_1", "XX"}, {"stationcount", 0}});
            body = QJsonDocument(countries).toJson();
        } else if (target.path().startsWith(QLatin1String("/json/stations/bycountrycodeexact/"))
                   && m_behaviour != Behaviour::StationsFail) {
            const QJsonArray all = m_stations.value(target.path().section(QLatin1Char('/'), -1));
            const QUrlQuery query(target);
            const int offset = query.queryItemValue(QStringLiteral("offset")).toInt();
            const int limit = query.queryItemValue(QStringLiteral("limit")).toInt();
            QJsonArray page;
            for (int i = offset; i < std::min<int>(int(all.size()), offset + limit); ++i)
                page.append(all.at(i));
            body = QJsonDocument(page).toJson();
        } else {
            status = 500;
            body = "error";
        }
        socket->write("HTTP/1.1 " + QByteArray::number(status)
                      + " X\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                      + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    const Behaviour m_behaviour;
    const QHash<QString, QJsonArray> m_stations;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

QUrl closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

QHash<QString, QSet<QString>> urlsByCountry(const CatalogueSnapshot &snapshot)
{
    QHash<QString, QSet<QString>> out;
    for (const CatalogueCountry *c : snapshot.countries()) {
        for (const CatalogueStation *s : snapshot.search(QString(), c->bestand, 100000))
            out[c->code].insert(s->url);
    }
    return out;
}

} // namespace

class TestSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void mirrors_data();
    void mirrors();
    void nothingAnswers();

private:
    std::unique_ptr<DirectoryStore> openStore();
    SyncOptions options() const;

    QTemporaryDir m_dir;
    QHash<QString, QJsonArray> m_stations;
    QStringList m_files;
    int m_serial = 0;
};

void TestSync::initTestCase()
{
    const QDir dir(QStringLiteral(NORVALE_SHARED_DATA "/stations/radio-browser-json"));
    const QHash<QString, QString> files {
        {"NL", "Netherlands.json"}, {"BE", "Belgium.json"}, {"LU", "Luxembourg.json"}, {"SR", "Suriname.json"}};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile f(dir.filePath(it.value()));
        if (!f.open(QIODevice::ReadOnly))
            QSKIP("shared radio-browser JSON files not found (../shared/data/stations/radio-browser-json)");
        m_stations.insert(it.key(), QJsonDocument::fromJson(f.readAll()).array());
        m_files.append(f.fileName());
    }
}

std::unique_ptr<DirectoryStore> TestSync::openStore()
{
    StoreResult r;
    auto store = DirectoryStore::open(m_dir.filePath(QStringLiteral("sync-%1.db").arg(++m_serial)), &r);
    if (!r.ok())
        qWarning("%s", qPrintable(r.message));
    return store;
}

SyncOptions TestSync::options() const
{
    SyncOptions o;
    o.timeoutMs = 400;
    o.pageSize = 100;
    return o;
}

void TestSync::mirrors_data()
{
    QTest::addColumn<QList<int>>("order"); // 0 good, 1 silent, 2 stations fail, 3 nonsense, 4 closed port
    QTest::newRow("one good server") << QList<int> {0};
    QTest::newRow("closed port first") << QList<int> {4, 0};
    QTest::newRow("silent server first") << QList<int> {1, 0};
    QTest::newRow("server breaking half-way") << QList<int> {2, 0};
    QTest::newRow("nonsense, closed and silent first") << QList<int> {3, 4, 1, 0};
}

void TestSync::mirrors()
{
    QFETCH(QList<int>, order);
    std::vector<std::unique_ptr<FakeApi>> servers;
    QList<QUrl> mirrors;
    FakeApi *good = nullptr;
    for (int kind : order) {
        if (kind == 4) {
            mirrors.append(closedPort());
            continue;
        }
        servers.push_back(std::make_unique<FakeApi>(Behaviour(kind), m_stations));
        mirrors.append(servers.back()->base());
        if (kind == 0)
            good = servers.back().get();
    }
    auto synced = openStore();
    QVERIFY(synced);
    const StoreResult r = syncFromRadioBrowser(*synced, mirrors, options());
    QVERIFY2(r.ok(), qPrintable(r.message));

    // The sync gives exactly what importing the same files gives.
    auto imported = openStore();
    QVERIFY(imported);
    QVERIFY(imported->importFiles(m_files).ok());
    const auto want = urlsByCountry(*imported->snapshot());
    QCOMPARE(want.size(), 4);
    QCOMPARE(urlsByCountry(*synced->snapshot()), want);
    QCOMPARE(synced->snapshot()->countryList(Language::Dutch).body,
             imported->snapshot()->countryList(Language::Dutch).body);

    QCOMPARE(good->userAgents, QSet<QByteArray> {"norvale-directory/3.0"});
    for (const int offset : {0, 100, 200, 300, 400})
        QVERIFY2(
            good->requests.contains(
                QStringLiteral("/json/stations/bycountrycodeexact/NL?offset=%1&limit=100&hidebroken=true").arg(offset)),
            qPrintable(good->requests.join(QLatin1Char('\n'))));
    QVERIFY(!good->requests.contains(
        QStringLiteral("/json/stations/bycountrycodeexact/NL?offset=500&limit=100&hidebroken=true")));
    for (const QString &request : std::as_const(good->requests))
        QVERIFY(!request.contains(QLatin1String("/XX")));
}

void TestSync::nothingAnswers()
{
    auto store = openStore();
    QVERIFY(store);
    CatalogueStation s;
    s.countryCode = QStringLiteral("NL");
    s.name = QStringLiteral("Blijft");
    s.url = QStringLiteral("http://blijft.example/");
    QVERIFY(store->replaceCatalogue({s}).ok());

    FakeApi silent(Behaviour::Silent, m_stations);
    FakeApi failing(Behaviour::StationsFail, m_stations);
    for (const QList<QUrl> &mirrors :
         {QList<QUrl> {closedPort(), silent.base()}, QList<QUrl> {failing.base()}, QList<QUrl> {}}) {
        const StoreResult r = syncFromRadioBrowser(*store, mirrors, options());
        QCOMPARE(r.error, StoreError::Network);
        QVERIFY(!r.message.isEmpty());
        QCOMPARE(store->snapshot()->stationCount(), 1);
    }
}

QTEST_GUILESS_MAIN(TestSync)
#include "tst_sync.moc"
