#include "directory/StationListLoader.h"
#include "directory/TagParser.h"
#include "support/FakeTransfer.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QString kHolland = QStringLiteral("<naam>Radio 1</naam><url>http://r1.example/live</url>"
                                        "<homepage>http://r1.example/</homepage>\n"
                                        "<naam>Radio 2</naam><url>http://r2.example/live</url>"
                                        "<homepage>http://r2.example/</homepage>\n");

using Lists = QList<QStringList>;

// 120 KB whose fields would hold 1.2 billion characters: refused by the parser, a failed load.
const QString kNestedList = QStringLiteral("<naam>").repeated(20000) + QStringLiteral("</naam>");

} // namespace

class TestStationListLoader final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_bestand = QStringLiteral("new zealand?b#c%d.txt"); // one path segment, whatever it holds
        m_base = QUrl(QStringLiteral("https://dir.example/norvale/"));
        m_events.clear();
        m_inet1 = new FakeTransfer;
        m_loader = new StationListLoader(
            m_inet1, [this] { return m_base; }, [this] { return m_bestand; });
        connect(m_loader, &StationListLoader::cleared, this, [this] { m_events << "cleared"; });
        connect(m_loader, &StationListLoader::downloaded, this, [this] { m_events << "downloaded"; });
        connect(m_loader, &StationListLoader::loaded, this, [this] { m_events << "loaded"; });
        connect(m_loader, &StationListLoader::failureCountChanged, this,
                [this](int count) { m_events << QString::number(count); });
        connect(m_loader, &StationListLoader::failedTooOften, this, [this] { m_events << "failedTooOften"; });
    }

    void cleanup()
    {
        delete m_loader;
        delete m_inet1;
    }

    void successFillsListsAndStopsTimer_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<Lists>("lists"); // names, urls, homepages

        const Lists holland {{"Radio 1", "Radio 2"},
                             {"http://r1.example/live", "http://r2.example/live"},
                             {"http://r1.example/", "http://r2.example/"}};
        QTest::newRow("two stations") << kHolland << holland;
        QTest::newRow("empty body") << QString() << Lists {{}, {}, {}};
        QTest::newRow("last url unclosed")
            << QStringLiteral("<naam>A</naam><url>a</url><naam>B</naam><url>b") << Lists {{"A", "B"}, {"a"}, {}};
    }

    void successFillsListsAndStopsTimer()
    {
        QFETCH(QString, body);

        QSignalSpy downloaded(m_loader, &StationListLoader::downloaded);
        QSignalSpy loaded(m_loader, &StationListLoader::loaded);
        m_loader->start();
        m_loader->onTimer1();
        QCOMPARE(m_inet1->requests.value(0).url.toString(QUrl::FullyEncoded),
                 QStringLiteral("https://dir.example/norvale/radio/inter/zenders/new%20zealand%3Fb%23c%25d.txt"));
        QVERIFY(m_loader->isFetching());
        m_loader->onTimer1(); // a tick while the server is still busy starts nothing
        QCOMPARE(m_events, QStringList {"cleared"});
        m_inet1->answer(0, body);
        QCOMPARE(m_inet1->requests.size(), 1);
        QCOMPARE(m_events, (QStringList {"cleared", "downloaded", "loaded"}));
        QCOMPARE(downloaded.first().at(0).toString(), body);
        const QVariantList args = loaded.first();
        QTEST((Lists {args[0].toStringList(), args[1].toStringList(), args[2].toStringList()}), "lists");
        QVERIFY(!m_loader->isActive() && !m_loader->isFetching());
    }

    void failuresAreCountedAndRetried_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        const QString page = QStringLiteral("<naam>error page</naam>");

        QTest::newRow("network") << int(TransferError::Network) << 0 << page;
        QTest::newRow("404") << int(TransferError::HttpStatus) << 404 << page;
        QTest::newRow("error status reported as success") << int(TransferError::None) << 500 << page;
        QTest::newRow("reply over the size limit") << int(TransferError::TooLarge) << 200 << QString();
        QTest::newRow("fields over the parser's bound") << int(TransferError::None) << 200 << kNestedList;
    }

    void failuresAreCountedAndRetried()
    {
        QFETCH(int, error);
        QFETCH(int, status);
        QFETCH(QString, body);

        m_loader->start();
        QStringList expected;
        for (int attempt = 1; attempt <= 24; ++attempt) {
            m_loader->onTimer1();
            m_inet1->answerLast(FakeTransfer::reply(body, TransferError(error), status));
            QVERIFY(m_loader->isActive() && !m_loader->isFetching());
            // More than ten failures: the twelfth resets the count and brings the message.
            expected << "cleared" << QString::number(attempt % 12);
            if (attempt % 12 == 0)
                expected << "failedTooOften";
        }
        QCOMPARE(m_events, expected);
        QCOMPARE(m_loader->failureCount(), 0);

        m_loader->onTimer1();
        m_inet1->answerLast(kHolland);
        QCOMPARE(m_events.mid(expected.size()), (QStringList {"cleared", "downloaded", "loaded"}));
        QVERIFY(!m_loader->isActive());
    }

    void staleReplyIsDropped_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("ok");

        // Another country chosen while the list is on its way; its load begins at once.
        QTest::newRow("other country, list arrives") << "switch" << true;
        QTest::newRow("other country, failure arrives") << "switch" << false;
        QTest::newRow("started again, list arrives") << "start" << true;
        QTest::newRow("stopped") << "stop" << false;
    }

    void staleReplyIsDropped()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, ok);

        m_loader->start();
        m_loader->onTimer1();
        if (meanwhile == u"switch")
            m_bestand = QStringLiteral("belgie.txt");
        else if (meanwhile == u"start")
            m_loader->start();
        else
            m_loader->stop();
        QCOMPARE(m_inet1->requests.first().aborted, meanwhile != u"switch");
        // After a switch the old list is still awaited and this tick starts nothing; after
        // a restart it opens the new request before the old reply comes in.
        if (meanwhile != u"stop")
            m_loader->onTimer1();

        m_inet1->answer(0, ok ? kHolland : QString(), ok ? TransferError::None : TransferError::Network);
        QCOMPARE(m_events, QStringList(meanwhile == u"stop" ? 1 : 2, QStringLiteral("cleared")));
        QCOMPARE(m_loader->isActive(), meanwhile != u"stop");
        if (meanwhile == u"stop")
            return;

        QCOMPARE(m_inet1->requests.size(), 2);
        QVERIFY(m_inet1->requests.at(1).url.path().endsWith(u'/' + m_bestand));
        m_inet1->answer(1, kHolland);
        QCOMPARE(m_events.last(), QStringLiteral("loaded"));
    }

    void publishedCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<Lists>("expected");

        const QStringList station = stationListTags();
        const QStringList country = countryListTags();

        QTest::newRow("mixed-case tags") << QStringLiteral(
            "<Naam>Radio 1</NAAM><URL>http://a.example/s</url><HomePage>http://h.example/</homepage>")
                                         << station
                                         << Lists {{"Radio 1"}, {"http://a.example/s"}, {"http://h.example/"}};
        QTest::newRow("empty field") << QStringLiteral("<naam></naam>") << station << Lists {{""}, {}, {}};
        QTest::newRow("two openings, one closing")
            << QStringLiteral("<naam>A<naam>B</naam>") << station << Lists {{"A<naam>B", "B"}, {}, {}};
        QTest::newRow("url closing missing in first record")
            << QStringLiteral("<naam>N1</naam><url>U1<homepage>H1</homepage>\n"
                              "<naam>N2</naam><url>U2</url><homepage>H2</homepage>\n")
            << station
            << Lists {{"N1", "N2"}, {"U1<homepage>H1</homepage>\n<naam>N2</naam><url>U2", "U2"}, {"H1", "H2"}};
        QTest::newRow("url closing missing in last record")
            << QStringLiteral("<naam>N1</naam><url>U1</url><homepage>H1</homepage>\n"
                              "<naam>N2</naam><url>U2<homepage>H2</homepage>\n")
            << station << Lists {{"N1", "N2"}, {"U1"}, {"H1", "H2"}};
        QTest::newRow("blanks and line breaks kept")
            << QStringLiteral("<naam>  Radio\r\n 2 \n</naam>") << station << Lists {{"  Radio\r\n 2 \n"}, {}, {}};
        QTest::newRow("entities and non-ASCII kept") << QStringLiteral("<naam>R&amp;B — Ö1 日本</naam>") << station
                                                     << Lists {{QStringLiteral("R&amp;B — Ö1 日本")}, {}, {}};
        QTest::newRow("opening without any closing") << QStringLiteral("<naam>Radio") << station << Lists {{}, {}, {}};
        QTest::newRow("closing cut short at the end")
            << QStringLiteral("<naam>x</naam") << station << Lists {{}, {}, {}};
        QTest::newRow("field of another name inside a field")
            << QStringLiteral("<url><naam>N</naam></url>") << station << Lists {{"N"}, {"<naam>N</naam>"}, {}};
        // A long s folds to "s" under full Unicode case folding.
        QTest::newRow("only ASCII letters fold")
            << QStringLiteral("<be\u017Ftand>x</bestand><BESTAND>y</Bestand>") << country << Lists {{}, {"y"}};
        QTest::newRow("country list") << QStringLiteral("<naam>Nederland</naam><bestand>holland.txt</bestand>\n"
                                                        "<naam>België</naam><bestand>belgie.txt</bestand>\n")
                                      << country
                                      << Lists {{"Nederland", QStringLiteral("België")}, {"holland.txt", "belgie.txt"}};
        QTest::newRow("repeated name: the first one wins")
            << QStringLiteral("<naam>a</naam>") << QStringList {"naam", "Naam"} << Lists {{"a"}, {}};
        QTest::newRow("no tag names") << QStringLiteral("<naam>a</naam>") << QStringList {} << Lists {};
    }

    void publishedCases()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, tags);
        QFETCH(Lists, expected);

        QCOMPARE(parseTaggedFields(text, tags), expected);
        if (tags == countryListTags()) {
            const CountryListText list = parseCountryList(text);
            QCOMPARE((Lists {list.naam, list.bestand}), expected);
        }
    }

    // Fields that end, and fields that begin, past positions 16 bits can hold.
    void textsBeyond16BitPositions()
    {
        const QString longName(70000, QLatin1Char('n'));
        const StationListText list = parseStationList("<naam>" + longName + "</naam><url>u</url>\r\n<naam>b</naam>");
        QCOMPARE((Lists {list.naam, list.url, list.homepage}), (Lists {{longName, "b"}, {"u"}, {}}));
    }

private:
    FakeTransfer *m_inet1 = nullptr;
    StationListLoader *m_loader = nullptr;
    QString m_bestand;
    QUrl m_base;
    QStringList m_events; // visible effects in the order the window would see them
};

QTEST_GUILESS_MAIN(TestStationListLoader)
#include "tst_stationlistloader.moc"
