// Query values as old and new clients send them; the report limit on a test clock.

#include "http/QueryString.h"
#include "http/RateLimiter.h"

#include <QTest>

class TestDirectoryQuery final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("decoded"); // null: refused

        QTest::newRow("encoded blank and ampersand") << QByteArray("r%20%26%20b") << QStringLiteral("r & b");
        QTest::newRow("plus stays a plus") << QByteArray("c++") << QStringLiteral("c++");
        QTest::newRow("utf-8") << QByteArray("%C3%89%C3%A9n") << QStringLiteral("Één");
        QTest::newRow("lower-case hex") << QByteArray("%c3%a9") << QStringLiteral("é");
        QTest::newRow("lone percent") << QByteArray("100%") << QStringLiteral("100%");
        QTest::newRow("percent without hex") << QByteArray("%zz%4") << QStringLiteral("%zz%4");
        QTest::newRow("raw utf-8") << QByteArray("\xc3\xa9") << QStringLiteral("é");
        QTest::newRow("invalid utf-8") << QByteArray("%FF%FE") << QString();
        QTest::newRow("truncated sequence") << QByteArray("a%C3") << QString();
        QTest::newRow("overlong slash") << QByteArray("%C0%AF") << QString();
        QTest::newRow("nul") << QByteArray("a%00b") << QString();
    }

    void decode()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, decoded);
        QCOMPARE(percentDecode(raw).value_or(QString()), decoded);
        QCOMPARE(percentDecode(raw).has_value(), !decoded.isNull());
    }

    // As the service reads them: a search's word up to "land", a report's text up to the last "versie".
    void values_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("tolerant"); // "-" when the markers are not there
        const auto row = [](const char *name, const char *query, const char *value, const char *tolerant) {
            QTest::newRow(name) << QByteArray(query) << QString::fromUtf8(value) << QString::fromUtf8(tolerant);
        };
        row("encoded search", "zoeken=r%26b&land=holland", "r&b", "r&b");
        row("raw search", "zoeken=r&b&land=holland", "r", "r&b");
        row("key inside another key", "xzoeken=a&zoeken=b&land=", "b", "b");
        row("markers in the wrong order", "land=x&zoeken=jazz", "jazz", "-");
        row("report up to the last version", "meld=zender_http://a/?x=1&versie=2&versie=3.0", "zender_http://a/?x=1",
            "zender_http://a/?x=1&versie=2");
        row("absent", "a=1", "", "-");
        row("empty value", "zoeken=&land=", "", "");
    }

    void values()
    {
        QFETCH(QByteArray, query);
        QFETCH(QString, value);
        QFETCH(QString, tolerant);
        const bool report = query.startsWith("meld=");
        const QueryString parsed(query);
        QCOMPARE(parsed.value(report ? "meld" : "zoeken"), value);
        const std::optional<QString> upTo =
            report ? parsed.valueUpTo("meld", "versie", true) : parsed.valueUpTo("zoeken", "land");
        QCOMPARE(upTo.value_or(QStringLiteral("-")), tolerant);
    }

    void rateLimit_data()
    {
        QTest::addColumn<QString>("attempts"); // ms of each, "+" allowed or "-" refused
        QTest::addColumn<QStringList>("clients"); // address of each attempt; none: one IPv4 client

        // Capacity 3, 60 per minute: one token a second.
        QTest::newRow("one back after a second") << "0+ 0+ 0+ 0- 999- 1000+ 1000-" << QStringList();
        QTest::newRow("refusals take no token") << "0+ 0+ 0+ 500- 600- 700- 1000+" << QStringList();
        QTest::newRow("never beyond the capacity") << "0+ 60000+ 60000+ 60000+ 60000-" << QStringList();
        QTest::newRow("an IPv6 /64 is one client")
            << "0+ 0+ 0+ 0- 0+"
            << QStringList {"2001:db8:1:2::1", "2001:db8:1:2::2", "2001:db8:1:2:ffff:ffff:ffff:ffff", "2001:db8:1:2::1",
                            "2001:db8:1:3::1"};
        QTest::newRow("IPv4 also seen through a dual-stack socket")
            << "0+ 0+ 0+ 0- 0+"
            << QStringList {"::ffff:10.0.0.1", "10.0.0.1", "::ffff:10.0.0.1", "10.0.0.1", "::ffff:10.0.0.3"};
    }

    void rateLimit()
    {
        QFETCH(QString, attempts);
        QFETCH(QStringList, clients);
        qint64 now = 0;
        RateLimiter limiter(3, 60, [&now] { return now; });
        const QStringList steps = attempts.split(QLatin1Char(' '));
        for (qsizetype i = 0; i < steps.size(); ++i) {
            now = steps[i].chopped(1).toLongLong();
            QCOMPARE(limiter.allow(clients.value(i, QStringLiteral("10.0.0.1"))), steps[i].endsWith(QLatin1Char('+')));
        }
        // Another client has its own bucket.
        QVERIFY(limiter.allow(QStringLiteral("10.0.0.2")));
    }
};

QTEST_GUILESS_MAIN(TestDirectoryQuery)
#include "tst_directory_query.moc"
