#include "controls/Tavrilon.h"
#include "controls/TavrilonColorizer.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

namespace {

// One letter per character: the class of the last range over it, "." for none.
QString styleMask(const QString &text, const std::vector<TavrilonStyledRange> &ranges)
{
    static const char letters[] = {'t', 'n', 'v', 'c', 'e'};
    QString mask(text.size(), u'.');
    for (const TavrilonStyledRange &range : ranges)
        for (qsizetype i = range.start; i < range.start + range.length && i < mask.size(); ++i)
            mask[i] = QLatin1Char(letters[int(range.tokenClass)]);
    return mask;
}

QTextCharFormat formatAt(Tavrilon &box, int position)
{
    QTextCursor cursor(box.hwnd()->document());
    cursor.setPosition(position + 1);
    return cursor.charFormat();
}

} // namespace

class TestTavrilon final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void styledRanges_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("mask"); // t tag, n attribute name, v value, c comment, e entity
        QTest::newRow("anchor: name 2, attribute 4-7, value 10-14")
            << "<a href=\"x.htm\">" << 0 << 0 << ".t.nnnn..vvvvv..";
        QTest::newRow("bare attribute before >") << "<input checked>" << 0 << 0 << ".ttttt.vvvvvvv.";
        QTest::newRow("bare attribute before another") << "<td nowrap width=5>" << 0 << 0 << ".tt.vvvvvv.nnnnn.v.";
        QTest::newRow("unquoted values end at a blank") << "<a b=c d>" << 0 << 0 << ".t.n.v.v.";
        QTest::newRow("blank inside a quoted value") << "<img alt=\"a b\" src=x>" << 0 << 0 << ".ttt.nnn..vvv..nnn.v.";
        QTest::newRow("declaration: blanks start no attribute")
            << "<!DOCTYPE html PUBLIC \"x\">" << 0 << 0 << QString(26, u'.');
        QTest::newRow("tag closed by > is styled") << "<p>x</p>" << 0 << 0 << ".t...tt.";
        QTest::newRow("STYLE block in mixed case")
            << "<StYlE>a b=c &amp; d</sTyLe>x<b c>" << 0 << 0 << ".ttttt.......eeeee...tttttt...t.v.";
        QTest::newRow("SCRIPT block") << "<script>if(a<b)x=\"<i y>\";</SCRIPT><i z>" << 0 << 0
                                      << ".tttttt." + QString(18, u'.') + "ttttttt..t.v.";
        QTest::newRow("entity ; within eight, not nine")
            << "&abcdefg; &abcdefgh; a&amp;b" << 0 << 0 << "eeeeeeeee" + QString(13, u'.') + "eeeee.";
        QTest::newRow("entity inside a comment") << "x<!-- a &lt; b -->y" << 0 << 0 << ".....ccceeeeccc....";
        QTest::newRow("entity inside a value") << "<a title=\"x &amp; y\">" << 0 << 0 << ".t.nnnnn..vveeeeevv..";
        QTest::newRow("range starting inside a tag")
            << "<a href=\"x.htm\">t</a>" << 4 << 0 << QString(18, u'.') + "tt.";
        QTest::newRow("range ending inside a tag") << "<b c>" << 0 << 3 << ".t...";
    }

    void styledRanges()
    {
        QFETCH(QString, html);
        QFETCH(int, start);
        QFETCH(int, end);
        const std::vector<TavrilonStyledRange> whole = TavrilonColorizer::colorize(html, start, end);
        QTEST(styleMask(html, whole), "mask");

        // Walked in slices, as a long text is, the ranges come out the same.
        TavrilonColorizer walker(html, start, end);
        std::vector<TavrilonStyledRange> sliced;
        while (!walker.atEnd())
            walker.step(3, sliced);
        QCOMPARE(sliced, whole);

        // A stretch of a longer document gives the same ranges at the document's positions.
        const qsizetype first = start > 0 ? start : 1;
        TavrilonColorizer stretch(html.mid(first - 1), first + 100, (end > 0 ? end : html.size()) + 100, first + 99);
        std::vector<TavrilonStyledRange> shifted;
        stretch.step(html.size(), shifted);
        for (TavrilonStyledRange &range : shifted)
            range.start -= 100;
        QCOMPARE(shifted, whole);
    }

    void typedCharacters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("keyAscii");
        QTest::newRow("u umlaut, default mask") << u"\u00FC"_qs << 62 << "&uuml;" << 0;
        QTest::newRow("sharp s, default mask") << u"\u00DF"_qs << 62 << "&szlig;" << 0;
        QTest::newRow("double quote left alone by 62") << "\"" << 62 << "\"" << 34;
        QTest::newRow("double quote with its bit") << "\"" << 63 << "&quot;" << 0;
        QTest::newRow("A umlaut without its bit") << u"\u00C4"_qs << 58 << u"\u00C4"_qs << 0xC4;
        QTest::newRow("mask 0 replaces nothing") << u"\u00FC"_qs << 0 << u"\u00FC"_qs << 0xFC;
    }

    void typedCharacters()
    {
        QFETCH(QString, typed);
        QFETCH(int, mask);
        QFETCH(int, keyAscii);
        Tavrilon box;
        QCOMPARE(box.setEntities(mask), TavrilonError::None);
        QList<int> reported;
        connect(&box, &Tavrilon::KeyPress, this, [&](qint16 &ascii) { reported.append(ascii); });
        QTest::sendKeyEvent(QTest::Click, box.hwnd(), Qt::Key_unknown, typed, Qt::NoModifier);
        QTEST(box.Text(), "text");
        QCOMPARE(reported, QList<int> {keyAscii});
    }

    void lineLeaveRestyles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("autoColorize");
        QTest::addColumn<bool>("restyled");
        QTest::newRow("Enter") << "" << 0 << int(Qt::Key_Return) << true << true;
        QTest::newRow("down") << "\nnext" << 0 << int(Qt::Key_Down) << true << true;
        QTest::newRow("up from the last line") << "top\n" << 4 << int(Qt::Key_Up) << true << true;
        QTest::newRow("AutoColorize off") << "" << 0 << int(Qt::Key_Return) << false << false;
        QTest::newRow("End stays on the line") << "" << 0 << int(Qt::Key_End) << true << false;
    }

    void lineLeaveRestyles()
    {
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(bool, autoColorize);
        Tavrilon box;
        box.resize(300, 200);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setAutoColorize(autoColorize);
        box.setText(text);
        box.setSelStart(caret);
        QTest::keyClicks(box.hwnd(), QStringLiteral("<b x>"));
        QTest::keyClick(box.hwnd(), Qt::Key(key));
        QTEST(formatAt(box, caret + 1).fontWeight() == QFont::Bold, "restyled");
    }

    void slicedColorizeQuietAndReported_data()
    {
        QTest::addColumn<bool>("progressBar");
        QTest::addColumn<bool>("newText"); // a new list arrives half-way through and stops the run
        QTest::newRow("progress bar") << true << false;
        QTest::newRow("Percent property") << false << false;
        QTest::newRow("new text half-way") << true << true;
    }

    void slicedColorizeQuietAndReported()
    {
        QFETCH(bool, progressBar);
        QFETCH(bool, newText);
        Tavrilon box;
        QProgressBar bar;
        QObject display; // takes a "Percent" as the progress displays of other toolkits do
        display.setProperty("Percent", -1);
        box.setProgressBar(progressBar ? static_cast<QObject *>(&bar) : &display);
        QList<int> barValues;
        connect(&bar, &QProgressBar::valueChanged, this, [&](int value) { barValues.append(value); });
        const QString line = QStringLiteral("<a href=\"x\">y</a>");
        box.setText((line + "\r\n").repeated(499) + line + '\r'); // held as plain text until shown
        QCOMPARE(box.Text(), (line + '\n').repeated(500));
        box.setChunkThreshold(64);
        QSignalSpy changes(&box, &Tavrilon::Change);
        QSignalSpy selChanges(&box, &Tavrilon::SelChange);
        QSignalSpy finished(&box, &Tavrilon::colorizeFinished);
        connect(&box, &Tavrilon::colorizeProgress, this, [&](int percent) {
            if (newText && percent >= 50 && box.isColorizing())
                box.setText(QStringLiteral("new"));
        });

        box.Colorize();
        QVERIFY(box.isColorizing());
        QVERIFY(box.hwnd()->isReadOnly());
        box.setSelStart(5);
        QVERIFY(finished.wait());
        QCOMPARE(finished.first().first().toBool(), !newText);
        QVERIFY(!box.isBusy());
        QVERIFY(!box.hwnd()->isReadOnly());
        if (newText) {
            QCOMPARE(box.Text(), QStringLiteral("new"));
            return;
        }
        QCOMPARE(changes.count(), 0);
        QCOMPARE(selChanges.count(), 0);
        QCOMPARE(formatAt(box, 9000 - 17).fontWeight(), QFont::Bold); // the last line's tag name
        QCOMPARE(display.property("Percent").toInt(), progressBar ? -1 : 100);
        QCOMPARE(barValues.isEmpty() ? -1 : barValues.last(), progressBar ? 100 : -1);
        QVERIFY(std::is_sorted(barValues.begin(), barValues.end()) && barValues.size() <= 101);

        box.setSelStart(7); // no longer busy: the event is raised again
        QCOMPARE(selChanges.count(), 1);
        box.show();
        QCOMPARE(box.GetLineCount(), 501);
        QCOMPARE(box.hwnd()->toPlainText(), box.Text());
    }

    // What is stored comes back and takes effect: colouring (which raises no Change) follows it.
    void propertyStore()
    {
        Tavrilon fresh;
        TavrilonPropertyBag bag;
        fresh.WriteProperties(bag);
        QCOMPARE(bag.names(), QStringList {"Font"}); // everything else at its default

        QSignalSpy marked(&fresh, &Tavrilon::propertyChanged);
        fresh.setAutoColorize(false);
        fresh.setCommentItalic(false);
        fresh.setPropNameItalic(true);
        QCOMPARE(marked.count(), 2);
        QCOMPARE(fresh.setEntities(64), TavrilonError::InvalidArgument); // outside the six bits: kept
        QCOMPARE(fresh.setEntities(-1), TavrilonError::InvalidArgument);
        QCOMPARE(fresh.Entities(), 62);
        QCOMPARE(fresh.setEntities(1), TavrilonError::None);
        fresh.setText(QStringLiteral("<a href=\"x\"><!--c-->&amp;"));
        fresh.WriteProperties(bag);
        Tavrilon loaded;
        loaded.ReadProperties(bag);
        QVERIFY(!loaded.AutoColorize());
        QCOMPARE(loaded.Entities(), 1);
        QCOMPARE(loaded.Text(), fresh.Text());
        QSignalSpy changes(&loaded, &Tavrilon::Change);
        loaded.Colorize();
        QVERIFY(!loaded.isBusy());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(formatAt(loaded, 1).fontWeight(), QFont::Bold); // tag name
        QVERIFY(!formatAt(loaded, 1).fontItalic());
        QVERIFY(formatAt(loaded, 3).fontItalic()); // attribute name
        QCOMPARE(formatAt(loaded, 3).fontWeight(), QFont::Normal);
        QVERIFY(!formatAt(loaded, 16).fontItalic()); // comment body
        QVERIFY(!formatAt(loaded, 21).fontItalic()); // entity
    }
};

QTEST_MAIN(TestTavrilon)
#include "tst_tavrilon.moc"
