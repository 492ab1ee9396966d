#pragma once

#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QWidget>

class Transfer;
class QTextBrowser;
class QTextDocument;
class QWebEngineView;

// The embedded browser for the directory server's pages. It follows http and https only
// and never reads a local file. "about:" + text shows the text itself, as plain text.
//
// The default build draws pages with QTextBrowser and fetches the page and its pictures
// through the Transfer it is given (it sets that transfer's size bound, so give it one of
// its own). Built with NORVALE_WEBENGINE it wraps QWebEngineView instead, with scripts
// off, behind the same interface.
class WebView final : public QWidget
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxPageBytes = 1 << 20; // a page, and each picture
    static constexpr int kMaxImages = 32; // pictures fetched per page
    static constexpr int kMaxImageSide = 2048;

    explicit WebView(Transfer *transfer, QWidget *parent = nullptr);
    ~WebView() override;

    // Call before the application object exists; the web-engine build needs it.
    static void prepareApplication();

    // Shows the page at address, an absolute http(s) URL or "about:" + text. Anything
    // else is refused with NavigateError. A page still loading is dropped.
    void Navigate(const QString &address);
    // The address of the page shown or loading.
    QString LocationURL() const { return m_location; }
    // The text of the page shown.
    QString pageText() const;

    // When on, a link to another host is handed to ExternalLink instead of followed.
    void setHandOffExternalLinks(bool on) { m_handOff = on; }
    bool handsOffExternalLinks() const { return m_handOff; }

Q_SIGNALS:
    void NavigateComplete(const QString &url);
    // Any failed navigation: refused scheme, network failure, HTTP error, too large.
    void NavigateError(const QString &url, const QString &reason);
    void ExternalLink(const QUrl &url);

private:
    // Where a followed link goes: its URL or nowhere.
    void followLink(const QUrl &link);
    void showPlainText(const QString &text);

#ifdef NORVALE_WEBENGINE
    QWebEngineView *m_engine = nullptr;
    bool m_showsText = false;
    friend class GuardedPage;
#else
    void cancelLoads();
    void showPage(const QUrl &url, const QByteArray &contentType, const QString &body);
    void showDocument(QTextDocument *document);
    void fetchImage(const QUrl &url);
    void imageArrived(const QString &key, const QByteArray &bytes);

    Transfer *m_transfer = nullptr;
    QTextBrowser *m_browser = nullptr;
    QTextDocument *m_document = nullptr;
    quint64 m_pageRequest = 0;
    QSet<quint64> m_imageRequests;
    QSet<QString> m_imagesAsked;
    QHash<QString, QImage> m_images; // the pictures of the page shown, by absolute URL
    qint64 m_imagePixels = 0;
    bool m_relayoutQueued = false;
#endif
    QUrl m_pageUrl;
    QString m_location;
    bool m_handOff = false;
};
