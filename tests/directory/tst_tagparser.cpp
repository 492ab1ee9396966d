#include "directory/TagParser.h"

#include <QTest>

using Lists = QList<QStringList>;

class TestTagParser final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QTest::newRow("empty text") << QString() << station << Lists {{}, {}, {}};
        QTest::newRow("opening without any closing") << QStringLiteral("<naam>Radio") << station << Lists {{}, {}, {}};
        QTest::newRow("closing ends exactly at the end")
            << QStringLiteral("<naam>x</naam>") << station << Lists {{"x"}, {}, {}};
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
};

QTEST_APPLESS_MAIN(TestTagParser)
#include "tst_tagparser.moc"
