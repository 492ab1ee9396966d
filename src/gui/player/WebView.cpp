#include "player/WebView.h"

#include <QApplication>
#include <QVBoxLayout>

#ifdef NORVALE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#else
#include "app/Transfer.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImageReader>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#endif

#include <memory>
#include <unistd.h>

namespace {

bool isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == u"http" || scheme == u"https");
}

bool isAbout(const QString &address)
{
    return address.startsWith(QLatin1String("about:"), Qt::CaseInsensitive);
}

} // namespace

void WebView::followLink(const QUrl &link)
{
    const QUrl url = m_pageUrl.resolved(link);
    if (!isWebUrl(url))
        return; // mail, file and script links lead nowhere from here
    if (m_handOff && url.host().compare(m_pageUrl.host(), Qt::CaseInsensitive) != 0) {
        Q_EMIT ExternalLink(url);
        return;
    }
    Navigate(url.toString(QUrl::FullyEncoded));
}

#ifndef NORVALE_WEBENGINE

namespace {

constexpr qint64 kMaxImagePixels = 8 * 1024 * 1024; // all pictures of a page together

// QTextDocument falls back to reading a local file for any resource its loader does not
// deliver. This document delivers every picture itself, the fetched one or a blank, and
// nothing else, so no name in a page ever reaches the file system.
class PageDocument final : public QTextDocument
{
public:
    PageDocument(const QHash<QString, QImage> *images, QObject *parent)
        : QTextDocument(parent)
        , m_images(images)
        , m_blank(1, 1, QImage::Format_ARGB32_Premultiplied)
    {
        m_blank.fill(Qt::transparent);
    }

protected:
    QVariant loadResource(int type, const QUrl &name) override
    {
        if (type != QTextDocument::ImageResource)
            return {};
        return m_images->value(name.toString(QUrl::FullyEncoded), m_blank);
    }

private:
    const QHash<QString, QImage> *m_images;
    QImage m_blank;
};

// The browser never loads anything itself: pages come through the transfer.
class PageBrowser final : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

} // namespace

WebView::WebView(Transfer *transfer, QWidget *parent)
    : QWidget(parent)
    , m_transfer(transfer)
    , m_browser(new PageBrowser(this))
{
    m_transfer->setMaxBodyBytes(kMaxPageBytes);
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl &link) {
        const QUrl url = m_pageUrl.resolved(link);
        if (url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == m_pageUrl.adjusted(QUrl::RemoveFragment))
            m_browser->scrollToAnchor(url.fragment());
        else
            followLink(link);
    });
    showDocument(new PageDocument(&m_images, this));
}

WebView::~WebView()
{
    cancelLoads();
    // The browser and its document ask m_images for pictures while they lay out, which a
    // hide during QWidget's own destructor does; they go while m_images still exists.
    delete m_browser;
    m_browser = nullptr;
    delete m_document;
    m_document = nullptr;
}

void WebView::prepareApplication() { }

QString WebView::pageText() const
{
    return m_browser->toPlainText();
}

void WebView::cancelLoads()
{
    if (m_pageRequest)
        m_transfer->abort(m_pageRequest);
    m_pageRequest = 0;
    for (const quint64 id : std::as_const(m_imageRequests))
        m_transfer->abort(id);
    m_imageRequests.clear();
}

void WebView::Navigate(const QString &address)
{
    cancelLoads();
    if (isAbout(address)) {
        m_location = address;
        m_pageUrl = QUrl();
        showPlainText(address.mid(6));
        Q_EMIT NavigateComplete(address);
        return;
    }
    const QUrl url(address.trimmed());
    if (!isWebUrl(url)) {
        Q_EMIT NavigateError(address, QStringLiteral("refused: not an http or https address"));
        return;
    }
    m_location = url.toString();
    m_pageRequest = m_transfer->openUrl(url, this, [this, url](const TransferResult &result) {
        m_pageRequest = 0;
        if (!result.ok()) {
            Q_EMIT NavigateError(url.toString(), result.errorText);
            return;
        }
        // A transfer without a bound of its own still gets none past this point.
        if (result.bytes.size() > kMaxPageBytes) {
            Q_EMIT NavigateError(url.toString(), QStringLiteral("reply too large"));
            return;
        }
        const QUrl shown = isWebUrl(result.url) ? result.url : url; // after redirects
        showPage(shown, result.contentType.toLower(), result.body);
    });
}

void WebView::showPlainText(const QString &text)
{
    m_images.clear();
    m_imagesAsked.clear();
    m_imagePixels = 0;
    auto *document = new PageDocument(&m_images, this);
    document->setPlainText(text);
    showDocument(document);
}

void WebView::showPage(const QUrl &url, const QByteArray &contentType, const QString &body)
{
    const bool html = contentType.contains("html") || (contentType.isEmpty() && Qt::mightBeRichText(body));
    if (!html && !contentType.isEmpty() && !contentType.startsWith("text/")) {
        Q_EMIT NavigateError(url.toString(), QStringLiteral("not a page: ") + QString::fromLatin1(contentType));
        return;
    }
    m_location = url.toString();
    m_pageUrl = url;
    if (!html) {
        showPlainText(body);
        Q_EMIT NavigateComplete(m_location);
        return;
    }

    m_images.clear();
    m_imagesAsked.clear();
    m_imagePixels = 0;
    auto *document = new PageDocument(&m_images, this);
    document->setDefaultFont(m_browser->font());
    document->setHtml(body);

    // Every picture gets its absolute address as its name before the document is laid
    // out: a web address is fetched, anything else becomes a blank picture.
    struct Rename
    {
        int position;
        int length;
        QTextImageFormat format;
    };
    QList<Rename> renames;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QUrl source = url.resolved(QUrl(format.name()));
            const QString name = isWebUrl(source) ? source.toString(QUrl::FullyEncoded) : QStringLiteral("about:blank");
            if (isWebUrl(source))
                fetchImage(source);
            if (name != format.name()) {
                format.setName(name);
                renames.append({fragment.position(), fragment.length(), format});
            }
        }
    }
    QTextCursor cursor(document);
    for (const Rename &rename : std::as_const(renames)) {
        cursor.setPosition(rename.position);
        cursor.setPosition(rename.position + rename.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(rename.format);
    }

    showDocument(document);
    if (url.hasFragment())
        m_browser->scrollToAnchor(url.fragment());
    Q_EMIT NavigateComplete(m_location);
}

void WebView::showDocument(QTextDocument *document)
{
    QTextDocument *old = m_document;
    m_document = document;
    m_browser->setDocument(document);
    delete old;
}

void WebView::fetchImage(const QUrl &url)
{
    const QString key = url.toString(QUrl::FullyEncoded);
    if (m_imagesAsked.contains(key) || m_imagesAsked.size() >= kMaxImages)
        return;
    m_imagesAsked.insert(key);
    auto id = std::make_shared<quint64>(0);
    *id = m_transfer->openUrl(url, this, [this, key, id](const TransferResult &result) {
        m_imageRequests.remove(*id);
        if (result.ok())
            imageArrived(key, result.bytes);
    });
    m_imageRequests.insert(*id);
}

void WebView::imageArrived(const QString &key, const QByteArray &bytes)
{
    if (bytes.size() > kMaxPageBytes)
        return;
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    // The size is read from the header, so a huge picture is refused before decoding.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxImageSide || size.height() > kMaxImageSide
        || m_imagePixels + qint64(size.width()) * size.height() > kMaxImagePixels)
        return;
    const QImage image = reader.read();
    if (image.isNull())
        return;
    m_imagePixels += qint64(image.width()) * image.height();
    m_images.insert(key, image);
    // Several pictures arriving together cost one new layout.
    if (m_relayoutQueued)
        return;
    m_relayoutQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_relayoutQueued = false;
        m_document->markContentsDirty(0, m_document->characterCount());
    });
}

#else // NORVALE_WEBENGINE

namespace {

// Qt WebEngine's sandbox refuses to start as root.
void allowEngineAsRoot()
{
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

} // namespace

// Keeps the engine on http and https; the text pages set by the view itself are the one
// exception.
class GuardedPage final : public QWebEnginePage
{
public:
    GuardedPage(QWebEngineProfile *profile, WebView *view)
        : QWebEnginePage(profile, view)
        , m_view(view)
    { }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (url.scheme() == u"data")
            return m_view->m_showsText && type != NavigationTypeLinkClicked && type != NavigationTypeRedirect;
        if (!isWebUrl(url))
            return false;
        if (type == NavigationTypeLinkClicked && isMainFrame) {
            m_view->followLink(url);
            return false;
        }
        return true;
    }

private:
    WebView *m_view;
};

WebView::WebView(Transfer *, QWidget *parent)
    : QWidget(parent)
{
    allowEngineAsRoot();
    // Off the record: no cache or cookies written into the home folder.
    auto *profile = new QWebEngineProfile(this);
    m_engine = new QWebEngineView(this);
    m_engine->setPage(new GuardedPage(profile, this));
    QWebEngineSettings *settings = m_engine->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_engine);
    connect(m_engine, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (m_showsText)
            return;
        if (ok)
            Q_EMIT NavigateComplete(m_location);
        else
            Q_EMIT NavigateError(m_location, QStringLiteral("load failed"));
    });
    connect(m_engine, &QWebEngineView::urlChanged, this, [this](const QUrl &url) {
        if (!m_showsText && isWebUrl(url)) {
            m_pageUrl = url;
            m_location = url.toString();
        }
    });
}

WebView::~WebView() = default;

void WebView::prepareApplication()
{
    allowEngineAsRoot();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QString WebView::pageText() const
{
    return m_showsText ? m_location.mid(6) : m_engine->page()->title();
}

void WebView::Navigate(const QString &address)
{
    if (isAbout(address)) {
        m_location = address;
        m_pageUrl = QUrl();
        showPlainText(address.mid(6));
        Q_EMIT NavigateComplete(address);
        return;
    }
    const QUrl url(address.trimmed());
    if (!isWebUrl(url)) {
        Q_EMIT NavigateError(address, QStringLiteral("refused: not an http or https address"));
        return;
    }
    m_showsText = false;
    m_location = url.toString();
    m_pageUrl = url;
    m_engine->load(url);
}

void WebView::showPlainText(const QString &text)
{
    m_showsText = true;
    m_engine->setContent(text.toUtf8(), QStringLiteral("text/plain;charset=utf-8"));
}

#endif
