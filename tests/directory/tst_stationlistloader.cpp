#include "StationListLoader.h"
#include "Transfer.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

// Keeps every request until the test answers it, like a slow server would.
class FakeTransfer final : public Transfer
{
    Q_OBJECT
public:
    struct Request
    {
        quint64 id = 0;
        QUrl url;
        QPointer<QObject> context;
        Callback done;
        bool aborted = false;
        bool answered = false;
    };

    QList<Request> requests;
    // When set, openUrl answers at once, before it returns.
    std::optional<TransferResult> answerImmediately;

    quint64 openUrl(const QUrl &url, QObject *context, Callback done) override
    {
        requests.append({++m_nextId, url, context, std::move(done)});
        if (answerImmediately)
            answer(requests.size() - 1, *answerImmediately);
        return m_nextId;
    }

    void abort(quint64 id) override
    {
        for (Request &r : requests) {
            if (r.id == id)
                r.aborted = true;
        }
    }

    void answer(qsizetype index, const TransferResult &result)
    {
        Request &r = requests[index];
        if (r.aborted || r.answered || !r.context)
            return;
        deliver(r, result);
    }

    // A transfer that breaks its word and answers an aborted request anyway.
    void answerEvenIfAborted(qsizetype index, const TransferResult &result) { deliver(requests[index], result); }

    qsizetype openCount() const
    {
        return std::count_if(requests.cbegin(), requests.cend(),
                             [](const Request &r) { return !r.aborted && !r.answered; });
    }

private:
    void deliver(Request &r, const TransferResult &result)
    {
        r.answered = true;
        TransferResult copy = result;
        copy.url = r.url;
        r.done(copy);
    }

    quint64 m_nextId = 0;
};

TransferResult okBody(const QString &body)
{
    TransferResult r;
    r.httpStatus = 200;
    r.body = body;
    return r;
}

TransferResult failure(TransferError error = TransferError::Network, int status = 0)
{
    TransferResult r;
    r.error = error;
    r.httpStatus = status;
    r.body = QStringLiteral("<html>error</html>");
    return r;
}

const QString kHolland = QStringLiteral("<naam>Radio 1</naam><url>http://r1.example/live</url>"
                                        "<homepage>http://r1.example/</homepage>\n"
                                        "<naam>Radio 2</naam><url>http://r2.example/live</url>"
                                        "<homepage>http://r2.example/</homepage>\n");

} // namespace

class TestStationListLoader final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void listUrl_data();
    void listUrl();
    void successFillsListsAndStopsTimer_data();
    void successFillsListsAndStopsTimer();
    void failureKeepsRetrying_data();
    void failureKeepsRetrying();
    void messageAfterMoreThanTenFailures();
    void tickWhileFetchingStartsNothing();
    void replyForAnEarlierCountryIsDropped();
    void restartWhileFetchingDropsTheReply();
    void stopAbandonsTheFetch();
    void answerBeforeOpenUrlReturns();
    void timerDrivesTheLoad();

private:
    FakeTransfer *m_inet1 = nullptr;
    StationListLoader *m_loader = nullptr;
    QString m_bestand;
    QUrl m_base;
    QStringList m_events; // visible effects in the order the window would see them
};

void TestStationListLoader::init()
{
    m_bestand = QStringLiteral("holland.txt");
    m_base = QUrl(QStringLiteral("http://127.0.0.1:8642/"));
    m_events.clear();
    m_inet1 = new FakeTransfer;
    m_loader = new StationListLoader(
        m_inet1, [this] { return m_base; }, [this] { return m_bestand; });
    connect(m_loader, &StationListLoader::cleared, this, [this] { m_events << "cleared"; });
    connect(m_loader, &StationListLoader::downloaded, this, [this] { m_events << "downloaded"; });
    connect(m_loader, &StationListLoader::loaded, this, [this] { m_events << "loaded"; });
    connect(m_loader, &StationListLoader::failedTooOften, this, [this] { m_events << "failedTooOften"; });
}

void TestStationListLoader::cleanup()
{
    delete m_loader;
    delete m_inet1;
}

void TestStationListLoader::listUrl_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("bestand");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "http://127.0.0.1:8642/"
                           << "holland.txt"
                           << "http://127.0.0.1:8642/radio/inter/zenders/holland.txt";
    QTest::newRow("base with a folder") << "https://dir.example/norvale/"
                                        << "belgie.txt"
                                        << "https://dir.example/norvale/radio/inter/zenders/belgie.txt";
    QTest::newRow("blank") << "http://h/"
                           << "new zealand.txt"
                           << "http://h/radio/inter/zenders/new%20zealand.txt";
    QTest::newRow("characters with a meaning in URLs") << "http://h/"
                                                       << "a?b#c%d.txt"
                                                       << "http://h/radio/inter/zenders/a%3Fb%23c%25d.txt";
    QTest::newRow("non-ASCII") << "http://h/" << QStringLiteral("españa.txt")
                               << "http://h/radio/inter/zenders/espa%C3%B1a.txt";
}

void TestStationListLoader::listUrl()
{
    QFETCH(QString, base);
    QFETCH(QString, bestand);
    QFETCH(QString, expected);

    QCOMPARE(StationListLoader::listUrl(QUrl(base), bestand).toString(QUrl::FullyEncoded), expected);

    // The URL is built from the values current at the tick.
    m_base = QUrl(base);
    m_bestand = bestand;
    m_loader->start();
    m_loader->onTimer1();
    QCOMPARE(m_inet1->requests.size(), 1);
    QCOMPARE(m_inet1->requests.first().url.toString(QUrl::FullyEncoded), expected);
}

void TestStationListLoader::successFillsListsAndStopsTimer_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QStringList>("homepages");

    QTest::newRow("two stations") << kHolland << QStringList {"Radio 1", "Radio 2"}
                                  << QStringList {"http://r1.example/live", "http://r2.example/live"}
                                  << QStringList {"http://r1.example/", "http://r2.example/"};
    QTest::newRow("empty body") << QString() << QStringList {} << QStringList {} << QStringList {};
    QTest::newRow("tagless body") << QStringLiteral("Geen zenders") << QStringList {} << QStringList {}
                                  << QStringList {};
    QTest::newRow("last url unclosed") << QStringLiteral("<naam>A</naam><url>a</url><naam>B</naam><url>b")
                                       << QStringList {"A", "B"} << QStringList {"a"} << QStringList {};
}

void TestStationListLoader::successFillsListsAndStopsTimer()
{
    QFETCH(QString, body);
    QFETCH(QStringList, names);
    QFETCH(QStringList, urls);
    QFETCH(QStringList, homepages);

    QSignalSpy downloaded(m_loader, &StationListLoader::downloaded);
    QSignalSpy loaded(m_loader, &StationListLoader::loaded);
    m_loader->start();
    QVERIFY(m_loader->isActive());
    m_loader->onTimer1();
    QVERIFY(m_loader->isFetching());
    QCOMPARE(m_events, QStringList {"cleared"});

    m_inet1->answer(0, okBody(body));
    QCOMPARE(m_events, (QStringList {"cleared", "downloaded", "loaded"}));
    QCOMPARE(downloaded.first().at(0).toString(), body);
    QCOMPARE(loaded.first().at(0).toStringList(), names);
    QCOMPARE(loaded.first().at(1).toStringList(), urls);
    QCOMPARE(loaded.first().at(2).toStringList(), homepages);
    QVERIFY(!m_loader->isActive());
    QVERIFY(!m_loader->isFetching());
    QCOMPARE(m_loader->failureCount(), 0);
}

void TestStationListLoader::failureKeepsRetrying_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");

    QTest::newRow("network") << int(TransferError::Network) << 0;
    QTest::newRow("time-out") << int(TransferError::Timeout) << 0;
    QTest::newRow("404") << int(TransferError::HttpStatus) << 404;
    QTest::newRow("503") << int(TransferError::HttpStatus) << 503;
    QTest::newRow("error status reported as success") << int(TransferError::None) << 500;
}

void TestStationListLoader::failureKeepsRetrying()
{
    QFETCH(int, error);
    QFETCH(int, status);

    QSignalSpy counts(m_loader, &StationListLoader::failureCountChanged);
    m_loader->start();
    m_loader->onTimer1();
    m_inet1->answer(0, failure(TransferError(error), status));

    QCOMPARE(m_events, QStringList {"cleared"});
    QVERIFY(m_loader->isActive());
    QVERIFY(!m_loader->isFetching());
    QCOMPARE(m_loader->failureCount(), 1);
    QCOMPARE(counts.size(), 1);
    QCOMPARE(counts.first().at(0).toInt(), 1);

    // The next tick tries again from the start and can succeed.
    m_loader->onTimer1();
    QCOMPARE(m_inet1->requests.size(), 2);
    m_inet1->answer(1, okBody(kHolland));
    QCOMPARE(m_events, (QStringList {"cleared", "cleared", "downloaded", "loaded"}));
    QVERIFY(!m_loader->isActive());
}

void TestStationListLoader::messageAfterMoreThanTenFailures()
{
    m_loader->start();
    QList<int> countAfter;
    QList<int> messageAt;
    for (int attempt = 1; attempt <= 24; ++attempt) {
        const qsizetype before = m_events.count("failedTooOften");
        m_loader->onTimer1();
        m_inet1->answer(m_inet1->requests.size() - 1, failure());
        countAfter << m_loader->failureCount();
        if (m_events.count("failedTooOften") > before)
            messageAt << attempt;
    }
    QCOMPARE(messageAt, (QList<int> {12, 24}));
    QCOMPARE(countAfter.at(10), 11);
    QCOMPARE(countAfter.at(11), 0);
    QCOMPARE(countAfter.at(12), 1);
    QCOMPARE(countAfter.at(23), 0);
    QVERIFY(m_loader->isActive());
}

void TestStationListLoader::tickWhileFetchingStartsNothing()
{
    m_loader->start();
    m_loader->onTimer1();
    m_loader->onTimer1();
    m_loader->onTimer1();
    QCOMPARE(m_inet1->requests.size(), 1);
    QCOMPARE(m_events, QStringList {"cleared"});
    QVERIFY(!m_inet1->requests.first().aborted);

    m_inet1->answer(0, okBody(kHolland));
    QCOMPARE(m_events, (QStringList {"cleared", "downloaded", "loaded"}));
}

void TestStationListLoader::replyForAnEarlierCountryIsDropped()
{
    QSignalSpy loaded(m_loader, &StationListLoader::loaded);
    m_loader->start();
    m_loader->onTimer1();
    m_bestand = QStringLiteral("belgie.txt"); // chosen while holland.txt is on its way

    m_inet1->answer(0, okBody(kHolland));
    QCOMPARE(loaded.size(), 0);
    QVERIFY(!m_events.contains("downloaded"));
    QCOMPARE(m_loader->failureCount(), 0);
    QVERIFY(m_loader->isActive());
    // The load for the new name begins at once.
    QCOMPARE(m_inet1->requests.size(), 2);
    QVERIFY(m_inet1->requests.at(1).url.path().endsWith("/belgie.txt"));

    m_inet1->answer(1, okBody(QStringLiteral("<naam>VRT</naam>")));
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.first().at(0).toStringList(), QStringList {"VRT"});
    QVERIFY(!m_loader->isActive());

    // A failure that arrives for an earlier name is not counted either.
    m_loader->start();
    m_loader->onTimer1();
    m_bestand = QStringLiteral("holland.txt");
    m_inet1->answer(2, failure());
    QCOMPARE(m_loader->failureCount(), 0);
}

void TestStationListLoader::restartWhileFetchingDropsTheReply()
{
    QSignalSpy loaded(m_loader, &StationListLoader::loaded);
    m_loader->start();
    m_loader->onTimer1();
    m_loader->start(); // another country chosen: same file name, new start
    QVERIFY(m_inet1->requests.first().aborted);
    QVERIFY(!m_loader->isFetching());

    m_inet1->answerEvenIfAborted(0, okBody(kHolland));
    QCOMPARE(loaded.size(), 0);
    QVERIFY(m_loader->isActive());

    m_loader->onTimer1();
    QCOMPARE(m_inet1->requests.size(), 2);
    m_inet1->answer(1, okBody(kHolland));
    QCOMPARE(loaded.size(), 1);
}

void TestStationListLoader::stopAbandonsTheFetch()
{
    m_loader->start();
    m_loader->onTimer1();
    m_loader->stop();
    QVERIFY(!m_loader->isActive());
    QVERIFY(m_inet1->requests.first().aborted);
    m_inet1->answerEvenIfAborted(0, failure());
    QCOMPARE(m_loader->failureCount(), 0);
}

void TestStationListLoader::answerBeforeOpenUrlReturns()
{
    m_inet1->answerImmediately = okBody(kHolland);
    QSignalSpy loaded(m_loader, &StationListLoader::loaded);
    m_loader->start();
    m_loader->onTimer1();
    QCOMPARE(loaded.size(), 1);
    QVERIFY(!m_loader->isFetching());
    QVERIFY(!m_loader->isActive());
    // Nothing is left in flight, so a new start aborts nothing.
    m_loader->start();
    QVERIFY(!m_inet1->requests.first().aborted);
}

void TestStationListLoader::timerDrivesTheLoad()
{
    m_loader->start();
    QTRY_COMPARE_WITH_TIMEOUT(m_inet1->requests.size(), 1, 3 * StationListLoader::kTimer1IntervalMs);
    m_inet1->answer(0, okBody(kHolland));
    QVERIFY(!m_loader->isActive());
}

QTEST_GUILESS_MAIN(TestStationListLoader)
#include "tst_stationlistloader.moc"
