#include "app/TerminationSignals.h"

#include <QSignalSpy>
#include <QtTest>
#include <csignal>

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliveredThroughTheEventLoopOnce_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void deliveredThroughTheEventLoopOnce()
    {
        QFETCH(int, number);
        // What was set before comes back after the first delivery: ignoring keeps this
        // test alive where the default action would end it.
        std::signal(number, SIG_IGN);
        TerminationSignals termination;
        QVERIFY(termination.isActive());
        QSignalSpy received(&termination, &TerminationSignals::received);
        std::raise(number);
        QCOMPARE(received.size(), 0); // nothing happens inside the handler
        QVERIFY(received.wait(2000));
        QCOMPARE(received.takeFirst().at(0).toInt(), number);

        std::raise(number); // ignored now, as before
        QCoreApplication::processEvents();
        QCOMPARE(received.size(), 0);
        std::signal(number, SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
