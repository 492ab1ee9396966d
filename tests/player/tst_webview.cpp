#include "app/NetTransfer.h"
#include "player/WebView.h"
#include "support/LocalHttpServer.h"

#include <QBuffer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

namespace {

QByteArray png(QColor colour)
{
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

bool shows(QWidget &widget, QColor colour)
{
    const QImage shot = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto *pixels = reinterpret_cast<const QRgb *>(shot.constBits());
    return std::find(pixels, pixels + shot.sizeInBytes() / 4, colour.rgb()) != pixels + shot.sizeInBytes() / 4;
}

} // namespace

class TestWebView : public QObject
{
    Q_OBJECT

    QNetworkAccessManager m_manager;
    NetTransfer m_transfer {&m_manager};
    QTemporaryDir m_dir;
    QString m_base;
    LocalHttpServer m_server {[this](const QByteArray &target) {
        // A local picture the page names by path and by file URL: it must never show.
        const QByteArray local = m_dir.filePath("local.png").toUtf8();
        if (target == "/page")
            return LocalHttpReply {200,
                                   "<p>Welkom</p><p><a href=\"next\">verder</a> <a href=\"http://localhost:"
                                       + QByteArray::number(m_server.serverPort())
                                       + "/elders\">elders</a></p><img src=\"pic.png\"> <img src=\"" + local
                                       + "\"> <img src=\"file://" + local + "\">",
                                   "text/html"};
        if (target == "/next")
            return LocalHttpReply {200, "<p>Tweede pagina</p>", "text/html"};
        if (target == "/pic.png")
            return LocalHttpReply {200, png(Qt::red), "image/png"};
        if (target == "/big")
            return LocalHttpReply {200, QByteArray(WebView::kMaxPageBytes + 1, 'x'), "text/html"};
        return LocalHttpReply {404, "weg"};
    }};

private Q_SLOTS:
    void initTestCase()
    {
        QFile local(m_dir.filePath("local.png"));
        QVERIFY(local.open(QIODevice::WriteOnly) && local.write(png(Qt::green)) > 0);
        m_base = m_server.baseUrl();
    }

    void navigate_data()
    {
        QTest::addColumn<QString>("address"); // %1: the test server
        QTest::addColumn<QString>("text"); // empty: NavigateError expected
        const auto row = [](const char *tag, const char *address, const char *text) {
            QTest::newRow(tag) << QString(address) << QString(text);
        };
        row("page, then its pictures and links", "%1page", "Welkom");
        row("about text shown as it stands", "about:<b>Fout</b> 1", "<b>Fout</b> 1");
        row("http error", "%1missing", "");
        row("page too large", "%1big", "");
        row("file refused", "file:///etc/hostname", "");
        row("other scheme refused", "ftp://127.0.0.1/x", "");
        row("nobody listening", "http://127.0.0.1:1/", "");
    }

    void navigate()
    {
        QFETCH(QString, address);
        QFETCH(QString, text);
        WebView view(&m_transfer);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy complete(&view, &WebView::NavigateComplete);
        QSignalSpy error(&view, &WebView::NavigateError);
        view.Navigate(address.contains("%1") ? address.arg(m_base) : address);
        QTRY_COMPARE(complete.size() + error.size(), 1);
        QCOMPARE(error.size(), text.isEmpty() ? 1 : 0);
        if (!text.isEmpty())
            QVERIFY2(view.pageText().startsWith(text), qPrintable(view.pageText()));
        if (address != QLatin1String("%1page"))
            return;
        // Its own pictures show, local files never do.
        QTRY_VERIFY(shows(view, Qt::red));
        QVERIFY(!shows(view, Qt::green));

        // A link is followed inside the view, by keyboard as by mouse.
        auto *browser = view.findChild<QTextBrowser *>();
        browser->setFocus();
        QTest::keyClick(browser, Qt::Key_Tab);
        QTest::keyClick(browser, Qt::Key_Return);
        QTRY_COMPARE(view.pageText().trimmed(), QString("Tweede pagina"));
        QCOMPARE(view.LocationURL(), m_base + "next");

        // Asked to, the view hands a link to another host over instead.
        view.setHandOffExternalLinks(true);
        QSignalSpy external(&view, &WebView::ExternalLink);
        view.Navigate(m_base + "page");
        QTRY_VERIFY(view.pageText().contains("Welkom"));
        QTest::keyClick(browser, Qt::Key_Tab);
        QTest::keyClick(browser, Qt::Key_Tab);
        QTest::keyClick(browser, Qt::Key_Return);
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.at(0).at(0).toUrl().path(), QString("/elders"));
        QVERIFY(view.pageText().contains("Welkom"));
    }
};

QTEST_MAIN(TestWebView)
#include "tst_webview.moc"
