#include "LiteralTagParser.h"
#include "TagParser.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using Lists = QList<QStringList>;

class TestTagParser final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void publishedCases_data();
    void publishedCases();
    void randomTextsMatchLiteralScan_data();
    void randomTextsMatchLiteralScan();
    void textsBeyond16BitPositions();
    void realStationCatalogue();
    void convenienceStructs();
};

void TestTagParser::publishedCases_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<Lists>("expected");

    const QStringList station = stationListTags();
    const QStringList country = countryListTags();

    QTest::newRow("mixed-case tags") << QStringLiteral(
        "<Naam>Radio 1</NAAM><URL>http://a.example/s</url><HomePage>http://h.example/</homepage>")
                                     << station << Lists {{"Radio 1"}, {"http://a.example/s"}, {"http://h.example/"}};
    QTest::newRow("empty field") << QStringLiteral("<naam></naam>") << station << Lists {{""}, {}, {}};
    QTest::newRow("two openings, one closing")
        << QStringLiteral("<naam>A<naam>B</naam>") << station << Lists {{"A<naam>B", "B"}, {}, {}};
    QTest::newRow("inner field of the same set") << QStringLiteral("<naam>outer <naam>inner</naam> tail</naam>")
                                                 << station << Lists {{"outer <naam>inner", "inner"}, {}, {}};
    QTest::newRow("url closing missing in first record")
        << QStringLiteral("<naam>N1</naam><url>U1<homepage>H1</homepage>\n"
                          "<naam>N2</naam><url>U2</url><homepage>H2</homepage>\n")
        << station << Lists {{"N1", "N2"}, {"U1<homepage>H1</homepage>\n<naam>N2</naam><url>U2", "U2"}, {"H1", "H2"}};
    QTest::newRow("url closing missing in last record")
        << QStringLiteral("<naam>N1</naam><url>U1</url><homepage>H1</homepage>\n"
                          "<naam>N2</naam><url>U2<homepage>H2</homepage>\n")
        << station << Lists {{"N1", "N2"}, {"U1"}, {"H1", "H2"}};
    QTest::newRow("blanks and line breaks kept")
        << QStringLiteral("<naam>  Radio\r\n 2 \n</naam>") << station << Lists {{"  Radio\r\n 2 \n"}, {}, {}};
    QTest::newRow("entities and case kept")
        << QStringLiteral("<naam>R&amp;B &lt;Live&gt;</naam>") << station << Lists {{"R&amp;B &lt;Live&gt;"}, {}, {}};
    QTest::newRow("non-ASCII text") << QStringLiteral("<naam>Ö1 — 日本 Радио</naam>") << station
                                    << Lists {{QStringLiteral("Ö1 — 日本 Радио")}, {}, {}};
    QTest::newRow("empty text") << QString() << station << Lists {{}, {}, {}};
    QTest::newRow("tagless error page") << QStringLiteral("<html><body><h1>Not Found</h1></body></html>") << station
                                        << Lists {{}, {}, {}};
    QTest::newRow("opening without any closing") << QStringLiteral("<naam>Radio") << station << Lists {{}, {}, {}};
    QTest::newRow("closing ends exactly at the end")
        << QStringLiteral("<naam>x</naam>") << station << Lists {{"x"}, {}, {}};
    QTest::newRow("closing cut short at the end") << QStringLiteral("<naam>x</naam") << station << Lists {{}, {}, {}};
    QTest::newRow("field of another name inside a field")
        << QStringLiteral("<url><naam>N</naam></url>") << station << Lists {{"N"}, {"<naam>N</naam>"}, {}};
    QTest::newRow("closing of another name does not end a field")
        << QStringLiteral("<naam>a</url>b</naam>") << station << Lists {{"a</url>b"}, {}, {}};
    QTest::newRow("spaced or unterminated tags are no tags")
        << QStringLiteral("< naam>a</naam><naam >b</naam><naam>c</ naam>") << station << Lists {{}, {}, {}};
    // Only A-Z fold: a long s would fold to "s" under full Unicode case folding.
    QTest::newRow("only ASCII letters fold")
        << QStringLiteral("<be\u017Ftand>x</bestand><BESTAND>y</Bestand>") << country << Lists {{}, {"y"}};
    QTest::newRow("country list") << QStringLiteral("<naam>Nederland</naam><bestand>holland.txt</bestand>\n"
                                                    "<naam>België</naam><bestand>belgie.txt</bestand>\n")
                                  << country
                                  << Lists {{"Nederland", QStringLiteral("België")}, {"holland.txt", "belgie.txt"}};
    QTest::newRow("country list with a name too many")
        << QStringLiteral("<naam>A</naam><bestand>a.txt</bestand><naam>B</naam>") << country
        << Lists {{"A", "B"}, {"a.txt"}};
    QTest::newRow("station tags ignore country tags")
        << QStringLiteral("<naam>A</naam><bestand>a.txt</bestand>") << station << Lists {{"A"}, {}, {}};
    QTest::newRow("tag names given in upper case")
        << QStringLiteral("<naam>a</Naam>") << QStringList {"NAAM"} << Lists {{"a"}};
    QTest::newRow("repeated name: the first one wins")
        << QStringLiteral("<naam>a</naam>") << QStringList {"naam", "Naam"} << Lists {{"a"}, {}};
    QTest::newRow("no tag names") << QStringLiteral("<naam>a</naam>") << QStringList {} << Lists {};
}

void TestTagParser::publishedCases()
{
    QFETCH(QString, text);
    QFETCH(QStringList, tags);
    QFETCH(Lists, expected);

    QCOMPARE(parseTaggedFields(text, tags), expected);
    // The table doubles as a check that the reference scan says the same.
    QCOMPARE(literal::parseTaggedFields(text, tags), expected);
}

void TestTagParser::randomTextsMatchLiteralScan_data()
{
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("station tags") << stationListTags() << 20240611u;
    QTest::newRow("country tags") << countryListTags() << 7u;
    QTest::newRow("url before naam") << QStringList {"url", "naam"} << 99u;
    QTest::newRow("prefix and repeated names") << QStringList {"a", "ab", "A"} << 4242u;
    QTest::newRow("names with > and /") << QStringList {"x/y", "a>b", "naam"} << 31337u;
}

void TestTagParser::randomTextsMatchLiteralScan()
{
    QFETCH(QStringList, tags);
    QFETCH(quint32, seed);

    const QStringList fragments = {
        "<naam>",    "</NAAM>",    "<Naam>",    "</naam>", "<naam",      "naam>",       "<url>",
        "</url",     "</url>",     "<URL>",     "</Url>",  "<homepage>", "</homepage>", "</HomePage>",
        "<bestand>", "</bestand>", "<BESTAND>", "<a>",     "</a>",       "<ab>",        "</AB>",
        "<A>",       "<x/y>",      "</x/y>",    "<a>b>",   "</a>b>",     ">",           "<",
        "</",        "/",          "x",         "é",       "\n",         " ",
    };
    QRandomGenerator random(seed);
    qsizetype fields = 0;
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int count = random.bounded(40);
        for (int k = 0; k < count; ++k)
            text += fragments.at(random.bounded(fragments.size()));

        const Lists expected = literal::parseTaggedFields(text, tags);
        const Lists actual = parseTaggedFields(text, tags);
        if (actual != expected) {
            qWarning().noquote() << "text:" << text;
            QCOMPARE(actual, expected);
        }
        for (const QStringList &list : expected)
            fields += list.size();
    }
    // The alphabet must actually produce fields, or the comparison proves nothing.
    QVERIFY2(fields > 1000, qPrintable(QString::number(fields)));
}

void TestTagParser::textsBeyond16BitPositions()
{
    QString text;
    int stations = 0;
    while (text.size() <= 3 * 32767) {
        ++stations;
        text += QStringLiteral("<naam>Station %1 ø</naam><url>http://s%1.example/live</url>"
                               "<homepage>http://www.s%1.example/</homepage>\r\n")
                    .arg(stations);
    }
    const StationListText list = parseStationList(text);
    QCOMPARE(list.naam.size(), stations);
    QCOMPARE(list.url.size(), stations);
    QCOMPARE(list.homepage.size(), stations);
    QCOMPARE(list.naam.last(), QStringLiteral("Station %1 ø").arg(stations));
    QCOMPARE(list.url.last(), QStringLiteral("http://s%1.example/live").arg(stations));

    // A field that alone is longer than 16-bit positions reach.
    const QString longName(40000, QLatin1Char('n'));
    const QString single = QStringLiteral("<naam>") + longName + QStringLiteral("</naam>");
    QCOMPARE(parseTaggedFields(single, stationListTags()), (Lists {{longName}, {}, {}}));
    QCOMPARE(parseTaggedFields(text, stationListTags()), literal::parseTaggedFields(text, stationListTags()));
}

namespace {

// RFC 4180 rows; the catalogue has no line breaks inside fields.
QList<QStringList> readCsv(const QString &path)
{
    QList<QStringList> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        QStringList fields {QString()};
        bool quoted = false;
        for (qsizetype k = 0; k < line.size(); ++k) {
            const QChar c = line.at(k);
            if (quoted && c == u'"' && k + 1 < line.size() && line.at(k + 1) == u'"') {
                fields.last() += c;
                ++k;
            } else if (c == u'"') {
                quoted = !quoted;
            } else if (c == u',' && !quoted) {
                fields.append(QString());
            } else {
                fields.last() += c;
            }
        }
        rows.append(fields);
    }
    return rows;
}

} // namespace

void TestTagParser::realStationCatalogue()
{
    const QString path = QStringLiteral(NORVALE_SHARED_DATA "/stations/stations.csv");
    const QList<QStringList> rows = readCsv(path);
    if (rows.isEmpty())
        QSKIP(qPrintable(QStringLiteral("station catalogue not found at %1").arg(path)));

    // Columns: country_code, country_name_en, country_name_nl, name, url, homepage, ...
    const qsizetype header = 1;
    QString text;
    Lists expected {{}, {}, {}};
    for (qsizetype r = header; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        if (row.size() < 6 || (row.at(0) != u"NL" && row.at(0) != u"DE" && row.at(0) != u"JP"))
            continue;
        text += QStringLiteral("<naam>%1</naam><url>%2</url><homepage>%3</homepage>\n")
                    .arg(row.at(3), row.at(4), row.at(5));
        for (int k = 0; k < 3; ++k)
            expected[k].append(row.at(3 + k));
    }
    QVERIFY(expected.at(0).size() > 1000);
    QCOMPARE(parseTaggedFields(text, stationListTags()), expected);
    QCOMPARE(literal::parseTaggedFields(text, stationListTags()), expected);
}

void TestTagParser::convenienceStructs()
{
    const QString stations = QStringLiteral("<naam>N</naam><url>U</url><homepage>H</homepage>");
    const StationListText s = parseStationList(stations);
    QCOMPARE(s.naam, QStringList {"N"});
    QCOMPARE(s.url, QStringList {"U"});
    QCOMPARE(s.homepage, QStringList {"H"});

    const CountryListText c = parseCountryList(QStringLiteral("<bestand>b.txt</bestand><naam>B</naam>"));
    QCOMPARE(c.naam, QStringList {"B"});
    QCOMPARE(c.bestand, QStringList {"b.txt"});
}

QTEST_APPLESS_MAIN(TestTagParser)
#include "tst_tagparser.moc"
