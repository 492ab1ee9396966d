#include "http/DirectoryService.h"

#include "catalogue/Gzip.h"
#include "catalogue/TagWriter.h"
#include "http/ClientAddress.h"
#include "http/HttpServer.h"
#include "http/Pages.h"
#include "http/QueryString.h"
#include "http/RequestLog.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

constexpr qsizetype kMaxSearchLength = 200;
constexpr qsizetype kMaxUrlLength = 2048;
constexpr qsizetype kMaxNameLength = 200;
constexpr qsizetype kMaxCountryLength = 100;

const QByteArray kTextType = "text/plain; charset=utf-8";
const QByteArray kHtmlType = "text/html; charset=utf-8";

// The body in the form the client takes: gzip when it accepts it and one was made.
void setBody(HttpResponse &response, const ListBody &list, bool acceptsGzip, bool withEtag)
{
    const bool gzip = acceptsGzip && !list.gzip.isEmpty();
    response.body = gzip ? list.gzip : list.body;
    response.file = list.file;
    response.fileOffset = gzip ? list.gzipAt : list.bodyAt;
    if (withEtag)
        response.etag = gzip ? list.gzipEtag : list.etag;
    if (gzip)
        response.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
    if (!list.gzip.isEmpty())
        response.headers.append(qMakePair(QByteArray("Vary"), QByteArray("Accept-Encoding")));
}

HttpResponse listResponse(const ListBody &list, bool acceptsGzip)
{
    HttpResponse response;
    setBody(response, list, acceptsGzip, true);
    // Clients may keep a list but must ask again; an unchanged list costs them a 304.
    response.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-cache")));
    return response;
}

HttpResponse htmlResponse(const QByteArray &html, int status = 200)
{
    HttpResponse response;
    response.status = status;
    response.contentType = kHtmlType;
    response.body = html;
    response.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
    return response;
}

Language languageOf(const QueryString &query)
{
    return query.value("lang") == QLatin1String("Nederlands") ? Language::Dutch : Language::English;
}

// A stream address worth storing: a URL with a scheme and a host, in one line.
bool plausibleStreamUrl(const QString &text)
{
    if (text.isEmpty() || text.size() > kMaxUrlLength)
        return false;
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty();
}

bool plausibleText(const QString &text, qsizetype maxLength)
{
    if (text.size() > maxLength)
        return false;
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString decodedPath(const QByteArray &path)
{
    return percentDecode(path).value_or(QString());
}

} // namespace

DirectoryService::DirectoryService(DirectoryStore *store, RequestLog *log, Options options)
    : m_store(store)
    , m_log(log)
    , m_options(options)
    , m_reportLimiter(options.reportBurst, options.reportsPerMinute, options.clock)
    , m_searchLimiter(options.searchBurst, options.searchesPerMinute, options.clock)
{ }

HttpResponse DirectoryService::handle(const HttpRequest &request)
{
    // The player appends its paths to a base URL ending in "/"; a doubled slash from a
    // base written without care is forgiven.
    QByteArray path = request.path;
    while (path.startsWith("//"))
        path.remove(0, 1);

    if (path == "/radio/inter/keuze.txt")
        return countryList(request, Language::Dutch);
    if (path == "/radio/inter/keuze-uk.txt")
        return countryList(request, Language::English);
    if (path == "/radio/inter/zenders/radio-lijst-zoek.php")
        return search(request);
    if (path.startsWith("/radio/inter/zenders/"))
        return stationList(request, decodedPath(path.mid(int(sizeof "/radio/inter/zenders/") - 1)));
    if (path == "/radio/inter/shoutcast/ask.php")
        return ask(request);
    if (path == "/radio/inter/meld/index.php" || path == "/radio/inter/meld/")
        return report(request);
    if (path == "/radio/inter/website/index.php" || path == "/radio/inter/website/")
        return website(request);
    if (path == "/radio/inter/website/firstrun") {
        const QueryString query(request.query);
        std::optional<Language> language;
        if (query.contains("lang"))
            language = languageOf(query);
        return htmlResponse(Pages::firstRun(language));
    }
    if (path == "/health")
        return health();
    if (path.startsWith("/radio/inter/logo/"))
        return logo(request, path.mid(int(sizeof "/radio/inter/logo/") - 1));
    return HttpResponse::text(404, "not found\n");
}

HttpResponse DirectoryService::countryList(const HttpRequest &request, Language language) const
{
    const auto snapshot = m_store->snapshot();
    return listResponse(snapshot->countryList(language), request.acceptsGzip);
}

HttpResponse DirectoryService::stationList(const HttpRequest &request, const QString &bestand) const
{
    if (bestand.isEmpty() || bestand.contains(QLatin1Char('/')))
        return HttpResponse::text(404, "not found\n");
    const auto snapshot = m_store->snapshot();
    const ListBody *list = snapshot->stationList(bestand);
    if (!list)
        list = snapshot->stationList(bestand.toLower());
    if (!list)
        return HttpResponse::text(404, "unknown list\n");
    return listResponse(*list, request.acceptsGzip);
}

HttpResponse DirectoryService::search(const HttpRequest &request)
{
    const QueryString query(request.query);
    // "zoeken=" + word + "&land=" + key: an old client's raw word may itself hold "&".
    std::optional<QString> words = query.valueUpTo("zoeken", "land");
    if (!words)
        words = query.strictValue("zoeken");
    const std::optional<QString> land = query.strictValue("land");
    HttpResponse response = HttpResponse::text(200, QByteArray());
    response.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-cache")));
    if (!words || !land)
        return response; // not UTF-8: nothing can match
    const QString trimmed = words->simplified();
    if (trimmed.isEmpty() || trimmed.size() > kMaxSearchLength)
        return response;
    const auto snapshot = m_store->snapshot();
    QString countryKey;
    if (!land->isEmpty()) {
        const QString key = land->toLower();
        if (!snapshot->countryByBestand(key + QLatin1String(".txt")))
            return response; // a country that is not listed holds no stations
        countryKey = key;
    }
    const QString client = clientKeyOf(request.clientId);
    if (!m_searchLimiter.allow(client)) {
        HttpResponse refused = HttpResponse::text(429, "too many searches\n");
        refused.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("1")));
        return refused;
    }
    {
        // One search at a time per client: its other connections wait for nothing.
        std::lock_guard lock(m_searchMutex);
        if (m_searchingClients.contains(client)) {
            HttpResponse busy = HttpResponse::text(503, "busy, try again\n");
            busy.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("1")));
            return busy;
        }
        m_searchingClients.insert(client);
    }
    response.deferred = [this, response, snapshot, trimmed, countryKey, client, gzip = request.acceptsGzip]() {
        const QList<const CatalogueStation *> found = snapshot->search(trimmed, countryKey, m_options.searchLimit);
        {
            std::lock_guard lock(m_searchMutex);
            m_searchingClients.remove(client);
        }
        // Made per request: no tag, and the fastest compression.
        ListBody list;
        list.body = renderStationList(found);
        if (gzip && list.body.size() >= kGzipMinimum)
            list.gzip = gzipCompress(list.body, 1);
        HttpResponse answer = response;
        setBody(answer, list, gzip, false);
        return answer;
    };
    return response;
}

HttpResponse DirectoryService::ask(const HttpRequest &request) const
{
    static const QRegularExpression md5(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    const QString digest = QueryString(request.query).value("zenderurl").trimmed();
    HttpResponse response = HttpResponse::text(200, QByteArray());
    if (!md5.match(digest).hasMatch())
        return response;
    const auto snapshot = m_store->snapshot();
    if (const auto address = snapshot->recordableAddress(digest.toUpper()))
        response.body = '\n' + address->toUtf8();
    return response;
}

// A report is answered once it is written: a client, or a balancer that retries on another
// process, holding the answer knows the report is in the database even if this process
// dies the next moment.
HttpResponse DirectoryService::stored(HttpResponse response) const
{
    response.holdUntil = [store = m_store](std::function<void()> done) {
        store->whenWritten(std::move(done));
    };
    return response;
}

HttpResponse DirectoryService::report(const HttpRequest &request)
{
    const QueryString query(request.query);
    // "meld=" + text + "&versie=" + version: the text is a stream URL that may hold "&".
    std::optional<QString> text = query.valueUpTo("meld", "versie", true);
    if (!text)
        text = query.strictValue("meld");
    if (!text) {
        if (m_log)
            m_log->message(QStringLiteral("report ignored: not UTF-8"));
        return HttpResponse::text(200, "ignored");
    }
    enum class Kind { Play, RecorderFailure, FirstRun, Unknown };
    Kind kind = Kind::Unknown;
    QString url;
    if (text->startsWith(QLatin1String("zender_"))) {
        kind = Kind::Play;
        url = text->mid(7);
    } else if (text->startsWith(QLatin1String("shoutc_"))) {
        kind = Kind::RecorderFailure;
        url = text->mid(7);
    } else if (*text == QLatin1String("vfirst")) {
        kind = Kind::FirstRun;
    }
    if (kind == Kind::Unknown) {
        if (m_log) {
            m_log->message(QStringLiteral("report ignored: %1")
                               .arg(QString::fromLatin1(QUrl::toPercentEncoding(text->left(120), "_:/.-"))));
        }
        return HttpResponse::text(200, "ignored");
    }
    const QString client = clientKeyOf(request.clientId);
    if (!m_reportLimiter.allow(client))
        return HttpResponse::text(429, "too many reports");
    if (kind == Kind::FirstRun) {
        m_store->recordFirstRun(client);
        return stored(HttpResponse::text(200, "OK"));
    }
    // Only stations of the catalogue are counted: anything else would let a client fill
    // the database with made-up addresses.
    if (url.size() > kMaxUrlLength || !m_store->snapshot()->stationByUrl(url))
        return HttpResponse::text(200, "unknown station");
    if (kind == Kind::Play)
        m_store->recordPlay(url, client);
    else
        m_store->recordRecorderFailure(url, client);
    return stored(HttpResponse::text(200, "OK"));
}

HttpResponse DirectoryService::website(const HttpRequest &request)
{
    const QueryString query(request.query);
    const Language language = languageOf(query);
    const QString wat = query.value("wat");
    if (wat == QLatin1String("melding"))
        return problemPage(request, language);
    return cachedPage(request, language, wat != QLatin1String("over"));
}

HttpResponse DirectoryService::cachedPage(const HttpRequest &request, Language language, bool home)
{
    const auto snapshot = m_store->snapshot();
    ListBody page;
    {
        std::lock_guard lock(m_pageMutex);
        CachedPage &cached = m_pages[home ? 1 : 0][language == Language::Dutch ? 1 : 0];
        QList<BrokenReport> handled;
        QList<qint64> handledIds;
        if (home) {
            handled = m_store->handledReports(m_options.handledReports);
            for (const BrokenReport &report : std::as_const(handled))
                handledIds.append(report.id);
        }
        if (cached.snapshot != snapshot || cached.handledIds != handledIds || cached.page.body.isEmpty()) {
            cached.snapshot = snapshot;
            cached.handledIds = handledIds;
            cached.page = TagWriter::makeBody(home ? Pages::home(language, *snapshot, handled)
                                                   : Pages::about(language, *snapshot));
        }
        page = cached.page;
    }
    HttpResponse response = htmlResponse({});
    setBody(response, page, request.acceptsGzip, false);
    return response;
}

HttpResponse DirectoryService::problemPage(const HttpRequest &request, Language language)
{
    const QueryString query(request.query);
    // The player puts the values in as they stand in older versions; the markers in
    // their fixed order delimit them even when a value holds "&".
    std::optional<QString> url = query.valueUpTo("zenderurl", "zendernaam");
    if (!url)
        url = query.strictValue("zenderurl");
    std::optional<QString> name = query.valueUpTo("zendernaam", "zenderland");
    if (!name)
        name = query.strictValue("zendernaam");
    const std::optional<QString> country = query.strictValue("zenderland");

    Pages::ReportSubject subject;
    subject.url = url.value_or(QString()).trimmed();
    const bool valid = url && name && country && plausibleStreamUrl(subject.url)
        && plausibleText(name->trimmed(), kMaxNameLength) && plausibleText(country->trimmed(), kMaxCountryLength);
    // Only a station of the catalogue can be reported, and a page names it as the
    // catalogue does: nothing a client writes into a link is shown to anyone.
    const auto snapshot = m_store->snapshot();
    const CatalogueStation *station = valid ? snapshot->stationByUrl(subject.url) : nullptr;
    if (station) {
        subject.stationName = station->name;
        for (const CatalogueCountry *c : snapshot->countries()) {
            if (c->code == station->countryCode)
                subject.countryName = language == Language::Dutch ? c->nameDutch : c->nameEnglish;
        }
    }

    if (!query.contains("reden")) {
        if (!valid)
            return htmlResponse(Pages::reportForm(language, {}));
        if (!station)
            return htmlResponse(Pages::reportRefused(language, Pages::Refusal::UnknownStation), 404);
        return htmlResponse(Pages::reportForm(language, subject));
    }
    const std::optional<ReportReason> reason = Pages::reasonFromKey(query.value("reden"));
    if (!reason || !valid)
        return htmlResponse(Pages::reportRefused(language, Pages::Refusal::Invalid), 400);
    if (!station)
        return htmlResponse(Pages::reportRefused(language, Pages::Refusal::UnknownStation), 404);
    const QString client = clientKeyOf(request.clientId);
    if (!m_reportLimiter.allow(client))
        return htmlResponse(Pages::reportRefused(language, Pages::Refusal::TooMany), 429);

    BrokenReport report;
    report.url = station->url;
    report.reason = *reason;
    report.at = QDateTime::currentDateTimeUtc();
    m_store->recordBrokenReport(report, client);
    return stored(htmlResponse(Pages::reportThanks(language, subject, *reason)));
}

// The logo's tag comes with the snapshot, so a client that has it gets 304 at once; the
// bytes come from the cache, or from the database on a worker thread.
HttpResponse DirectoryService::logo(const HttpRequest &request, const QByteArray &file)
{
    static const QRegularExpression name(QStringLiteral("^([0-9A-Fa-f]{32})\\.png$"));
    const QRegularExpressionMatch match = name.match(QString::fromLatin1(file));
    const auto snapshot = m_store->snapshot();
    const QString md5 = match.captured(1).toUpper();
    const CatalogueStation *station = match.hasMatch() ? snapshot->stationByMd5(md5) : nullptr;
    if (!station || station->logoEtag.isEmpty())
        return HttpResponse::text(404, "no logo\n");
    HttpResponse response;
    response.contentType = "image/png";
    response.etag = station->logoEtag;
    response.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-cache")));
    if (etagMatches(request.ifNoneMatch, response.etag))
        return response; // answered 304 without a body
    {
        std::lock_guard lock(m_logoMutex);
        if (const CachedLogo *cached = m_logos.object(md5); cached && cached->etag == response.etag) {
            response.body = cached->png;
            return response;
        }
    }
    response.deferred = [this, response, md5]() {
        const std::optional<StationLogo> stored = m_store->logo(md5);
        if (!stored)
            return HttpResponse::text(404, "no logo\n");
        HttpResponse answer = response;
        answer.etag = stored->etag;
        answer.body = stored->png;
        std::lock_guard lock(m_logoMutex);
        m_logos.insert(md5, new CachedLogo {stored->etag, stored->png},
                       int(std::max<qsizetype>(1, stored->png.size() / 1024)));
        return answer;
    };
    return response;
}

HttpResponse DirectoryService::health() const
{
    const auto snapshot = m_store->snapshot();
    if (!snapshot)
        return HttpResponse::text(503, "no catalogue\n");
    // A balancer takes a process whose snapshot the database no longer refreshes out of
    // rotation; the others keep serving current lists.
    const DirectoryStore::Health h = m_store->health();
    return HttpResponse::text(
        h.snapshotStale ? 503 : 200,
        QByteArray(h.snapshotStale ? "stale " : "ok ") + QByteArray::number(snapshot->stationCount())
            + " stations, snapshot " + QByteArray::number(h.snapshotAgeSeconds) + " s old, report queue "
            + QByteArray::number(h.queuedReports) + " (" + QByteArray::number(h.queuedBytes) + " bytes)\n");
}
