#include "app/ReplyGuard.h"
#include "support/FakeTransfer.h"

#include <QTest>

// Each step is "open", "abandon", "atOnce" (the next open is answered before openUrl
// returns) or "answer N" (the test's transfer answers request N, as a careless transfer
// would even after an abort); the row lists the requests whose reply got through and
// those that were aborted.
class TestReplyGuard final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void staleRepliesAreDropped_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("delivered");
        QTest::addColumn<QList<bool>>("aborted");
        QTest::addColumn<bool>("waiting");
        QTest::newRow("answered") << "open,answer 0" << QList {0} << QList {false} << false;
        QTest::newRow("still waiting") << "open" << QList<int>() << QList {false} << true;
        QTest::newRow("answered before openUrl returns")
            << "atOnce,open,abandon" << QList {0} << QList {false} << false;
        QTest::newRow("asked again") << "open,open,answer 0,answer 1" << QList {1} << QList {true, false} << false;
        QTest::newRow("given up") << "open,abandon,answer 0" << QList<int>() << QList {true} << false;
        QTest::newRow("answered twice") << "open,answer 0,answer 0" << QList {0} << QList {false} << false;
    }
    void staleRepliesAreDropped()
    {
        QFETCH(QString, steps);
        FakeTransfer transfer;
        QList<int> got;
        ReplyGuard guard;
        for (const QString &step : steps.split(u',')) {
            if (step == QLatin1String("atOnce")) {
                transfer.answerAtOnce = FakeTransfer::reply({});
            } else if (step == QLatin1String("open")) {
                const int index = int(transfer.requests.size());
                guard.open(&transfer, QUrl(QStringLiteral("http://d.test/%1").arg(index)), this,
                           [&got, &guard, index](const TransferResult &) {
                               QVERIFY(!guard.waiting());
                               got << index;
                           });
            } else if (step == QLatin1String("abandon")) {
                guard.abandon();
            } else {
                transfer.answer(step.section(' ', 1).toInt(), QString());
            }
        }
        QTEST(got, "delivered");
        QList<bool> wasAborted;
        for (const FakeTransfer::Request &request : std::as_const(transfer.requests))
            wasAborted << request.aborted;
        QTEST(wasAborted, "aborted");
        QTEST(guard.waiting(), "waiting");
    }
};

QTEST_GUILESS_MAIN(TestReplyGuard)
#include "tst_replyguard.moc"
