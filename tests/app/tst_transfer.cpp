#include "app/DirectoryUrl.h"
#include "app/NetTransfer.h"
#include "app/ReplyGuard.h"
#include "support/FakeTransfer.h"
#include "support/LocalHttpServer.h"

#include <QNetworkAccessManager>
#include <QtTest>
#include <optional>

class TestTransfer : public QObject
{
    Q_OBJECT

    QNetworkAccessManager m_manager;

private Q_SLOTS:
    // The window tests check the search's and the report's escapes; here what they do not
    // type, as it reaches a server.
    void encodesEveryInsertedValue()
    {
        LocalHttpServer server([](const QByteArray &) { return LocalHttpReply {}; });
        const QString value = QStringLiteral("café 1+1 & zender_http://h:8/s?a=1#x");
        NetTransfer transfer(&m_manager);
        bool done = false;
        transfer.openUrl(directoryUrl(directoryBaseUrl(server.baseUrl(), {}), "meld/index.php", {{"meld", value}}),
                         this, [&](const TransferResult &) { done = true; });
        QTRY_VERIFY(done);
        const QByteArray target = server.targets().value(0);
        QCOMPARE(
            target,
            QByteArray("/meld/index.php?meld=caf%C3%A9%201%2B1%20%26%20zender_http%3A%2F%2Fh%3A8%2Fs%3Fa%3D1%23x"));
        QCOMPARE(QUrlQuery(QUrl::fromEncoded("http://x" + target)).queryItemValue("meld", QUrl::FullyDecoded), value);
    }

    void baseUrl_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, const QString &ini, const QString &env, const QString &expected) {
            QTest::newRow(tag) << ini << env << expected;
        };
        row("default", "", "", "http://127.0.0.1:8642/");
        row("ini without slash", "http://dir.example:81/base", "", "http://dir.example:81/base/");
        row("environment wins", "http://a/", "http://b:9/", "http://b:9/");
        row("garbage falls back", "not a url", "", "http://127.0.0.1:8642/");
    }

    void baseUrl()
    {
        QFETCH(QString, ini);
        QFETCH(QString, env);
        QTEST(directoryBaseUrl(ini, env).toString(), "expected");
    }

    void outcomes_data()
    {
        QTest::addColumn<int>("status"); // -1: nothing listens
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<TransferError>("error");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *tag, int status, const QByteArray &body, bool silent, TransferError error,
                            const QString &text) {
            QTest::newRow(tag) << status << body << silent << error << text;
        };

        row("utf-8 body", 200, "<naam>Radio Caf\xc3\xa9</naam>", false, TransferError::None, "<naam>Radio Café</naam>");
        row("windows-1252 body", 200, "<naam>Caf\xe9 \x80</naam>", false, TransferError::None, "<naam>Café €</naam>");
        row("empty body", 200, "", false, TransferError::None, "");
        row("not found is a failure", 404, "<html>Not found</html>", false, TransferError::HttpStatus, "");
        row("body at the limit", 200, QByteArray(1000, 'x'), false, TransferError::None, QString(1000, u'x'));
        row("body past the limit", 200, QByteArray(1001, 'x'), false, TransferError::TooLarge, "");
        row("large body past the limit", 200, QByteArray(4 << 20, 'x'), false, TransferError::TooLarge, "");
        row("no answer times out", 200, "", true, TransferError::Timeout, "");
        row("refused connection", -1, "", false, TransferError::Network, "");
    }

    void outcomes()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, silent);
        QFETCH(TransferError, error);

        LocalHttpServer server([&](const QByteArray &) { return LocalHttpReply {status, body, "text/plain", silent}; });
        const QUrl url(server.baseUrl() + "radio/inter/keuze.txt");
        if (status < 0)
            server.close();
        NetTransfer transfer(&m_manager);
        transfer.setTimeout(300);
        transfer.setMaxBodyBytes(1000);
        std::optional<TransferResult> result;
        transfer.openUrl(url, this, [&](const TransferResult &r) { result = r; });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 5000);
        QCOMPARE(result->error, error);
        QTEST(result->body, "text");
        QCOMPARE(result->errorText.isEmpty(), error == TransferError::None);
        if (error == TransferError::HttpStatus)
            QCOMPARE(result->httpStatus, status);
    }

    // An aborted request, and one whose context is destroyed, closes its connection at once
    // (long before the time-out) and never calls back.
    void abortedOrContextGone()
    {
        LocalHttpServer server([](const QByteArray &target) {
            return LocalHttpReply {200, "x", "text/plain", target == "/silent"};
        });
        NetTransfer transfer(&m_manager);
        int calls = 0;
        bool control = false;
        auto *context = new QObject;
        transfer.openUrl(QUrl(server.baseUrl() + "silent"), context, [&](const TransferResult &) { ++calls; });
        const quint64 id =
            transfer.openUrl(QUrl(server.baseUrl() + "silent"), this, [&](const TransferResult &) { ++calls; });
        QTRY_COMPARE(server.targets().size(), 2);
        delete context;
        transfer.abort(id);
        QTRY_COMPARE(server.closedByClient(), 2);
        transfer.openUrl(QUrl(server.baseUrl()), this, [&](const TransferResult &) { control = true; });
        QTRY_VERIFY(control); // replies still flow, and the two above stayed silent
        QCOMPARE(calls, 0);
    }

    // Each step is "open", "abandon", "atOnce" (the next open is answered before openUrl
    // returns) or "answer N" (the test's transfer answers request N, as a careless transfer
    // would even after an abort); the row lists the requests whose reply got through and
    // those that were aborted.
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

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
