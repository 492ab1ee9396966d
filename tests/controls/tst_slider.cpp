#include "controls/Slider.h"

#include <QSignalSpy>
#include <QtTest>

// A 169 x 9 track with a 9 x 9 thumb: the free length is 160.
static void setUp(Slider &slider, bool vertical, int largeChange, int value)
{
    slider.setPosition(vertical ? 0 : 1);
    slider.resize(vertical ? QSize(9, 169) : QSize(169, 9));
    slider.setLargeChange(largeChange);
    slider.setValue(value);
    slider.show();
    QVERIFY(QTest::qWaitForWindowExposed(&slider));
}

class TestSlider : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pixelArithmetic_data()
    {
        QTest::addColumn<QString>("kind"); // value: offset -> value; offset: value -> offset; centre: pointer -> offset
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<double>("input");
        QTest::addColumn<int>("expected"); // -999: no result, the caller keeps what it had
        const auto row = [](const char *tag, const char *kind, int track, int min, int max, bool vertical, double in,
                            int out) {
            QTest::newRow(tag) << QString(kind) << track << min << max << vertical << in << out;
        };
        // The thumb is 9 pixels throughout.
        row("value 50 sits at 80", "offset", 169, 0, 100, false, 50, 80);
        row("offset 2 is 1.25, value 1", "value", 169, 0, 100, false, 2, 1);
        row("tie 2.5 rounds to 2", "value", 209, 0, 100, false, 5, 2);
        row("tie 3.5 rounds to 4", "value", 209, 0, 100, false, 7, 4);
        row("vertical top is Max", "value", 109, 0, 100, true, 0, 100);
        row("vertical bottom is min", "value", 109, 0, 100, true, 100, 0);
        row("vertical symmetric range", "value", 109, -50, 50, true, 25, 25);
        row("vertical other range stays inside", "value", 109, 10, 20, true, 100, 10);
        row("vertical offset of 70", "offset", 109, 0, 100, true, 70, 30);
        row("empty range keeps the value", "value", 169, 5, 5, false, 40, -999);
        row("no free length keeps the value", "value", 9, 0, 100, false, 0, -999);
        row("empty range keeps the offset", "offset", 169, 5, 5, false, 5, -999);
        row("pointer 50 centres at 45.5, tie to 46", "centre", 169, 0, 100, false, 50, 46);
        row("pointer before the track", "centre", 169, 0, 100, false, -30, 0);
        row("pointer past the track", "centre", 169, 0, 100, false, 400, 160);
        row("odd track: the end lands on the free length", "centre", 170, 0, 100, false, 170, 161);
    }

    void pixelArithmetic()
    {
        QFETCH(QString, kind);
        QFETCH(int, track);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(bool, vertical);
        QFETCH(double, input);
        constexpr int thumb = 9;
        std::optional<int> result;
        if (kind == "value")
            result = SliderMath::valueFromThumb(int(input), track - thumb, min, max, vertical);
        else if (kind == "offset")
            result = SliderMath::thumbOffset(int(input), track - thumb, min, max, vertical);
        else
            result = SliderMath::centredOffset(input, track, thumb);
        QTEST(result.value_or(-999), "expected");
    }

    void interaction_data()
    {
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<int>("largeChange");
        QTest::addColumn<int>("start");
        // p/P N: left/right press at N; m N: move to N; r: release; v N: assign value N;
        // = N: the value is N now; k KEY: a key; w N: the wheel turned by N.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("changes");
        QTest::addColumn<int>("mouseDowns");
        const auto row = [](const char *tag, bool vertical, int step, int start, const char *script, QList<int> changes,
                            int downs) {
            QTest::newRow(tag) << vertical << step << start << script << changes << downs;
        };
        row("step past the end does nothing, release raises Change", false, 10, 95, "p 165 = 95 r", {95}, 1);
        row("step right of the thumb", false, 10, 50, "p 150 = 60 r", {60}, 1);
        row("step left of the thumb", false, 10, 50, "p 20 = 40 r", {40}, 1);
        row("jump: value follows on release", false, 0, 0, "p 100 = 0 r = 60", {60}, 1);
        row("right button: no MouseDown, Change on release", false, 0, 30, "P 100 r = 30", {30}, 0);
        row("drag; assignment while held ignored", false, 0, 0, "p 4 m 84 v 10 = 50 m 400 r = 100", {50, 100}, 1);
        row("vertical: click below the thumb adds the step", true, 10, 50, "p 150 = 60 r", {60}, 1);
        row("vertical drag to the top is Max", true, 0, 50, "p 84 m 0 r", {100}, 1);
        row("keys", false, 0, 50, "k Right k Down k Down k PgUp k End k End k Home k PgDown", {51, 50, 49, 59, 100, 0},
            0);
        row("keys while held", false, 0, 0, "p 4 k end r = 0", {}, 1);
        row("wheel: notches and halves", false, 0, 50, "w 120 w -240 w 60 w 60", {55, 45, 50}, 0);
    }

    void interaction()
    {
        QFETCH(bool, vertical);
        QFETCH(int, largeChange);
        QFETCH(int, start);
        QFETCH(QString, script);

        Slider slider;
        setUp(slider, vertical, largeChange, start);
        QSignalSpy change(&slider, &Slider::Change);
        QSignalSpy down(&slider, &Slider::MouseDown);
        QSignalSpy up(&slider, &Slider::MouseUp);
        const QStringList words = script.split(' ');
        Qt::MouseButton held = Qt::NoButton;
        QPoint last;
        for (qsizetype i = 0; i < words.size(); ++i) {
            const QString &op = words[i];
            const QString arg = op == "r" ? QString() : words.value(++i);
            const QPoint point = vertical ? QPoint(4, arg.toInt()) : QPoint(arg.toInt(), 4);
            if (op == "p" || op == "P") {
                held = op == "p" ? Qt::LeftButton : Qt::RightButton;
                QTest::mousePress(&slider, held, {}, last = point);
            } else if (op == "m") {
                QTest::mouseMove(&slider, last = point);
            } else if (op == "r") {
                QTest::mouseRelease(&slider, held, {}, last);
            } else if (op == "v") {
                slider.setValue(arg.toInt());
            } else if (op == "k") {
                QTest::keyClick(&slider, QKeySequence::fromString(arg)[0].key());
            } else if (op == "w") {
                QWheelEvent wheel({50, 4}, slider.mapToGlobal(QPointF(50, 4)), {}, {0, arg.toInt()}, Qt::NoButton, {},
                                  Qt::NoScrollPhase, false);
                QApplication::sendEvent(&slider, &wheel);
            } else {
                QCOMPARE(slider.value(), arg.toInt());
            }
        }
        QList<int> raised;
        for (const QList<QVariant> &args : std::as_const(change))
            raised << args.at(0).toInt();
        QTEST(raised, "changes");
        QTEST(int(down.size()), "mouseDowns");
        QCOMPARE(up.size(), int(words.count("r")));
        if (!up.isEmpty()) // the button code callers compare with
            QCOMPARE(up.last().at(0).toInt(), held == Qt::LeftButton ? 1 : 2);
        QVERIFY(slider.focusPolicy() & Qt::TabFocus);
    }

    void thumbPictures()
    {
        const auto solid = [](QSize size, QColor colour) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(colour);
            return image;
        };
        Slider slider;
        setUp(slider, false, 0, 0);
        slider.setBar(solid({9, 9}, Qt::red)); // alone: the same picture for every state
        slider.setPictureBack(solid({169, 9}, Qt::white));
        QTest::mouseMove(&slider, QPoint(100, 4));
        QCOMPARE(slider.grab().toImage().pixelColor(4, 4), QColor(Qt::red));
        slider.setBarOver(solid({9, 9}, Qt::green));
        slider.setBarDown(solid({9, 9}, Qt::blue));
        slider.update();
        QCOMPARE(slider.grab().toImage().pixelColor(4, 4), QColor(Qt::green)); // still hovering
        QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(4, 4));
        QCOMPARE(slider.grab().toImage().pixelColor(4, 4), QColor(Qt::blue));
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(4, 4));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&slider, &leave);
        QCOMPARE(slider.grab().toImage().pixelColor(4, 4), QColor(Qt::red));
        // No progress picture: the fill is the track itself.
        slider.setValue(50);
        QCOMPARE(slider.grab().toImage().pixelColor(40, 4), QColor(Qt::white));
    }

    void propertiesNeverRaiseChange()
    {
        Slider slider;
        QSignalSpy change(&slider, &Slider::Change);
        slider.setValue(70);
        slider.setMax(60);
        QCOMPARE(slider.value(), 60);
        slider.setMin(65);
        QCOMPARE(slider.value(), 65);
        slider.setValue(200);
        slider.setLargeChange(60); // not below Max
        QCOMPARE(slider.value(), 65);
        QCOMPARE(slider.LargeChange(), 0);
        QCOMPARE(change.size(), 0);

        // The store keeps what differs from the defaults; reading it turns the box a quarter.
        const QVariantMap bag = slider.WriteProperties();
        QCOMPARE(bag, (QVariantMap {{"Min", 65}, {"Max", 60}, {"Value", 65}}));
        Slider restored;
        restored.resize(20, 100);
        restored.ReadProperties(QVariantMap {{"Max", 50}, {"Value", 20}, {"Position", 1}});
        QCOMPARE(restored.size(), QSize(100, 20));
        QCOMPARE(restored.thumbSize(), QSize(9, 20));
        QCOMPARE(restored.thumbOffset(), 36); // 20 of 50 along a free length of 91
    }
};

QTEST_MAIN(TestSlider)
#include "tst_slider.moc"
