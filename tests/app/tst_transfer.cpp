#include "DirectoryUrl.h"
#include "LocalHttpServer.h"
#include "NetTransfer.h"

#include <QNetworkAccessManager>
#include <QtTest>
#include <optional>

class TestTransfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodesEveryInsertedValue_data();
    void encodesEveryInsertedValue();
    void baseUrl_data();
    void baseUrl();
    void outcomes_data();
    void outcomes();
    void refusedConnectionIsNetworkError();
    void goneContextGetsNoCallback();
    void abortedRequestGetsNoCallback();
};

void TestTransfer::encodesEveryInsertedValue_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("search word with ampersand")
        << "radio/inter/zenders/radio-lijst-zoek.php"
        << "zoeken"
        << "R&B" << QByteArray("/radio/inter/zenders/radio-lijst-zoek.php?zoeken=R%26B");
    QTest::newRow("search word with blanks and accents")
        << "radio/inter/zenders/radio-lijst-zoek.php"
        << "zoeken"
        << "café del mar" << QByteArray("/radio/inter/zenders/radio-lijst-zoek.php?zoeken=caf%C3%A9%20del%20mar");
    QTest::newRow("stream url in a report")
        << "radio/inter/meld/index.php"
        << "meld"
        << "zender_http://host:8000/s?a=1&b=2#x"
        << QByteArray("/radio/inter/meld/index.php?meld=zender_http%3A%2F%2Fhost%3A8000%2Fs%3Fa%3D1%26b%3D2%23x");
    QTest::newRow("language name") << "radio/inter/website/index.php"
                                   << "lang"
                                   << "Nederlands" << QByteArray("/radio/inter/website/index.php?lang=Nederlands");
    QTest::newRow("station name with plus")
        << "radio/inter/website/index.php"
        << "zendernaam"
        << "Radio 1+1" << QByteArray("/radio/inter/website/index.php?zendernaam=Radio%201%2B1");
    QTest::newRow("list file with blank") << "radio/inter/zenders/new york.txt" << QString() << QString()
                                          << QByteArray("/radio/inter/zenders/new%20york.txt");
}

void TestTransfer::encodesEveryInsertedValue()
{
    QFETCH(QString, path);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, target);

    LocalHttpServer server([](const QByteArray &) { return LocalHttpReply {}; });
    QueryItems query;
    if (!key.isEmpty())
        query.append({key, value});
    const QUrl url = directoryUrl(directoryBaseUrl(server.baseUrl(), {}), path, query);

    QNetworkAccessManager manager;
    NetTransfer transfer(&manager);
    bool done = false;
    transfer.openUrl(url, this, [&](const TransferResult &) { done = true; });
    QTRY_VERIFY(done);
    QCOMPARE(server.targets().value(0), target);

    // What the server decodes is exactly what was put in.
    const QUrlQuery decoded(QUrl::fromEncoded("http://x" + target));
    if (!key.isEmpty())
        QCOMPARE(decoded.queryItemValue(key, QUrl::FullyDecoded), value);
}

void TestTransfer::baseUrl_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("env");
    QTest::addColumn<QString>("expected");

    QTest::newRow("default") << ""
                             << ""
                             << "http://127.0.0.1:8642/";
    QTest::newRow("ini without slash") << "http://dir.example:81/base"
                                       << ""
                                       << "http://dir.example:81/base/";
    QTest::newRow("environment wins") << "http://a/"
                                      << "http://b:9/"
                                      << "http://b:9/";
    QTest::newRow("garbage falls back") << "not a url"
                                        << ""
                                        << "http://127.0.0.1:8642/";
}

void TestTransfer::baseUrl()
{
    QFETCH(QString, ini);
    QFETCH(QString, env);
    QFETCH(QString, expected);
    QCOMPARE(directoryBaseUrl(ini, env).toString(), expected);
}

void TestTransfer::outcomes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");

    QTest::newRow("utf-8 body") << 200 << QByteArray("<naam>Radio Caf\xc3\xa9</naam>") << false
                                << int(TransferError::None) << QStringLiteral("<naam>Radio Café</naam>");
    QTest::newRow("windows-1252 body") << 200 << QByteArray("<naam>Caf\xe9 \x80</naam>") << false
                                       << int(TransferError::None) << QStringLiteral("<naam>Café €</naam>");
    QTest::newRow("empty body") << 200 << QByteArray() << false << int(TransferError::None) << QString();
    QTest::newRow("not found is a failure")
        << 404 << QByteArray("<html>Not found</html>") << false << int(TransferError::HttpStatus) << QString();
    QTest::newRow("server error is a failure")
        << 503 << QByteArray("busy") << false << int(TransferError::HttpStatus) << QString();
    QTest::newRow("no answer times out") << 200 << QByteArray() << true << int(TransferError::Timeout) << QString();
}

void TestTransfer::outcomes()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, silent);
    QFETCH(int, error);
    QFETCH(QString, text);

    LocalHttpServer server([&](const QByteArray &) { return LocalHttpReply {status, body, "text/plain", silent}; });
    QNetworkAccessManager manager;
    NetTransfer transfer(&manager);
    transfer.setTimeout(300);
    std::optional<TransferResult> result;
    transfer.openUrl(QUrl(server.baseUrl() + "radio/inter/keuze.txt"), this,
                     [&](const TransferResult &r) { result = r; });
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 5000);
    QCOMPARE(int(result->error), error);
    QCOMPARE(result->body, text);
    if (error == int(TransferError::HttpStatus))
        QCOMPARE(result->httpStatus, status);
}

void TestTransfer::refusedConnectionIsNetworkError()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();

    QNetworkAccessManager manager;
    NetTransfer transfer(&manager);
    std::optional<TransferResult> result;
    transfer.openUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)), this,
                     [&](const TransferResult &r) { result = r; });
    QTRY_VERIFY(result.has_value());
    QCOMPARE(result->error, TransferError::Network);
    QVERIFY(!result->errorText.isEmpty());
}

void TestTransfer::goneContextGetsNoCallback()
{
    LocalHttpServer server([](const QByteArray &) { return LocalHttpReply {}; });
    QNetworkAccessManager manager;
    NetTransfer transfer(&manager);
    bool called = false;
    bool control = false;
    auto *context = new QObject;
    transfer.openUrl(QUrl(server.baseUrl()), context, [&](const TransferResult &) { called = true; });
    transfer.openUrl(QUrl(server.baseUrl()), this, [&](const TransferResult &) { control = true; });
    delete context;
    QTRY_VERIFY(control);
    QTRY_COMPARE(server.targets().size(), 2);
    QVERIFY(!called);
}

void TestTransfer::abortedRequestGetsNoCallback()
{
    LocalHttpServer server([](const QByteArray &) { return LocalHttpReply {200, "x", "text/plain", true}; });
    QNetworkAccessManager manager;
    NetTransfer transfer(&manager);
    transfer.setTimeout(200);
    bool called = false;
    const quint64 id = transfer.openUrl(QUrl(server.baseUrl()), this, [&](const TransferResult &) { called = true; });
    QTRY_COMPARE(server.targets().size(), 1);
    transfer.abort(id);
    QTest::qWait(400); // past the time-out: an aborted request must stay silent
    QVERIFY(!called);
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
