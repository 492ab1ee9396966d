#include "HttpServer.h"

#include "RequestLog.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <thread>
#include <unordered_map>
#include <vector>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

bool etagMatches(const QByteArray &ifNoneMatch, const QByteArray &etag)
{
    if (ifNoneMatch.isEmpty() || etag.isEmpty())
        return false;
    auto strong = [](QByteArray tag) {
        tag = tag.trimmed();
        if (tag.startsWith("W/"))
            tag = tag.mid(2);
        return tag;
    };
    const QByteArray wanted = strong(etag);
    for (const QByteArray &candidate : ifNoneMatch.split(',')) {
        const QByteArray tag = strong(candidate);
        if (tag == "*" || tag == wanted)
            return true;
    }
    return false;
}

namespace {

constexpr std::size_t kReadChunk = 8192;
constexpr std::size_t kDrainLimit = 4 * 1024 * 1024;
constexpr auto kDrainTime = std::chrono::seconds(2);
// Descriptors kept free of connections: the database, the log, and the sockets of the
// 503 answers that are still being drained.
constexpr long kReservedDescriptors = 32;
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);

// Where the header block ends: the index just past the empty line, or npos. Lines may
// end in CRLF or in a bare LF. The scan resumes at *lineStart, the start of the first
// line not yet seen whole, and leaves it there for the next read: a header arriving a
// byte at a time costs linear work, not quadratic.
std::size_t headerEnd(std::string_view data, std::size_t *lineStart)
{
    while (true) {
        const std::size_t lf = data.find('\n', *lineStart);
        if (lf == std::string_view::npos)
            return std::string_view::npos;
        const std::size_t length = lf - *lineStart;
        if (length == 0 || (length == 1 && data[*lineStart] == '\r'))
            return lf + 1;
        *lineStart = lf + 1;
    }
}

// Accept-Encoding names gzip (or "*") with a weight above zero.
bool acceptsGzip(std::string_view header)
{
    const QByteArray text = QByteArray(header.data(), qsizetype(header.size())).toLower();
    for (const QByteArray &item : text.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray coding = parts.first().trimmed();
        if (coding != "gzip" && coding != "x-gzip" && coding != "*")
            continue;
        for (const QByteArray &parameter : parts.mid(1)) {
            const QByteArray p = parameter.trimmed();
            if (p.startsWith("q=") && p.mid(2).toDouble() <= 0.0)
                return false;
        }
        return true;
    }
    return false;
}

// Beast's parser wants CRLF; a bare LF is taken as a line end as RFC 9112 allows.
std::string normaliseLineEnds(std::string_view header)
{
    std::string out;
    out.reserve(header.size() + 16);
    for (std::size_t i = 0; i < header.size(); ++i) {
        const char c = header[i];
        if (c == '\n' && (i == 0 || header[i - 1] != '\r'))
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

// Older clients put values into the URL as they stand, blanks and non-ASCII bytes
// included. When the request line has more than three parts, everything between the
// method and the version is the target; such bytes are percent-encoded so the parser
// accepts the line and the routes decode the same text.
void repairRequestLine(std::string &header)
{
    const std::size_t lineEnd = header.find("\r\n");
    if (lineEnd == std::string::npos)
        return;
    const std::size_t first = header.find(' ');
    const std::size_t last = header.rfind(' ', lineEnd);
    if (first == std::string::npos || first >= last || header.compare(last + 1, 5, "HTTP/") != 0)
        return;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string target;
    bool changed = false;
    for (std::size_t i = first + 1; i < last; ++i) {
        const unsigned char c = static_cast<unsigned char>(header[i]);
        if (c <= 0x20 || c >= 0x7f || std::string_view("\"<>\\^`{|}").find(char(c)) != std::string_view::npos) {
            target += '%';
            target += hex[c >> 4];
            target += hex[c & 15];
            changed = true;
        } else {
            target += char(c);
        }
    }
    if (changed)
        header.replace(first + 1, last - first - 1, target);
}

QByteArray toByteArray(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

class Session;

struct Shared
{
    HttpServer::Options options;
    HttpServer::Handler handler;
    RequestLog *log = nullptr;
    std::atomic<int> connections {0};
    std::atomic<bool> draining {false};
    std::atomic<int> deferred {0}; // work waiting for or running on the workers
    asio::thread_pool *workers = nullptr;
    // Open connections per client key, and every live session (for the shutdown).
    std::mutex mutex;
    std::unordered_map<QString, int> perClient;
    std::unordered_map<Session *, std::weak_ptr<Session>> sessions;
};

class Session final : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket socket, Shared &shared)
        : m_stream(std::move(socket))
        , m_shared(shared)
    {
        ++m_shared.connections;
        beast::error_code ec;
        const auto endpoint = m_stream.socket().remote_endpoint(ec);
        if (!ec) {
            m_peer = endpoint.address();
            m_client = QString::fromStdString(m_peer.to_string());
        }
        m_stream.socket().set_option(tcp::no_delay(true), ec);
        // A trusted proxy speaks for many clients: it is not one client to cap.
        if (!ec && !m_shared.options.trustedProxies.contains(m_peer))
            m_clientKey = clientKeyOf(m_client);
    }
    ~Session()
    {
        --m_shared.connections;
        std::lock_guard lock(m_shared.mutex);
        m_shared.sessions.erase(this);
        if (!m_clientKey.isEmpty()) {
            const auto it = m_shared.perClient.find(m_clientKey);
            if (it != m_shared.perClient.end() && --it->second <= 0)
                m_shared.perClient.erase(it);
        }
    }

    void start(bool overloaded)
    {
        {
            std::lock_guard lock(m_shared.mutex);
            m_shared.sessions.emplace(this, weak_from_this());
            if (!m_clientKey.isEmpty())
                overloaded = ++m_shared.perClient[m_clientKey] > m_shared.options.maxConnectionsPerClient || overloaded;
        }
        if (overloaded) {
            HttpRequest none;
            none.clientId = m_client;
            sendError(none, 503, "busy\n", Clock::now());
            return;
        }
        nextRequest();
    }

    // On the session's strand: a connection waiting for a request is closed; one in the
    // middle of a request finishes it (its answer says "Connection: close").
    void closeIfIdle()
    {
        asio::post(m_stream.get_executor(), [self = shared_from_this()] {
            if (!self->m_requestStarted && !self->m_writing)
                self->closeNow();
        });
    }

private:
    using Clock = std::chrono::steady_clock;

    void nextRequest()
    {
        // Only the first byte of a request may be waited for as long as a keep-alive
        // connection idles; the rest of its header must follow within the header deadline.
        m_requestStarted = !m_buffer.empty();
        if (!m_requestStarted && m_shared.draining) {
            closeNow();
            return;
        }
        m_stream.expires_after(
            std::chrono::seconds(m_requestStarted ? m_shared.options.headerSeconds : m_shared.options.idleSeconds));
        processBuffer();
    }

    void readMore()
    {
        m_stream.async_read_some(
            asio::buffer(m_chunk), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                if (ec) {
                    // Time-outs, resets and end of stream all end the
                    // connection; a half-sent request gets no answer.
                    self->closeNow();
                    return;
                }
                if (!self->m_requestStarted) {
                    self->m_requestStarted = true;
                    self->m_stream.expires_after(std::chrono::seconds(self->m_shared.options.headerSeconds));
                }
                self->m_buffer.append(self->m_chunk.data(), n);
                self->processBuffer();
            });
    }

    void processBuffer()
    {
        const auto started = Clock::now();
        if (m_scanFrom == 0) {
            // Empty lines before a request line are skipped, as RFC 9112 asks of a server.
            const std::size_t first = m_buffer.find_first_not_of("\r\n");
            m_buffer.erase(0, first == std::string::npos ? m_buffer.size() : first);
        }
        const std::size_t limit = std::size_t(m_shared.options.headerLimit);
        const std::size_t end = headerEnd(std::string_view(m_buffer).substr(0, limit + 2), &m_scanFrom);
        if (end == std::string_view::npos) {
            if (m_buffer.size() <= limit) {
                readMore();
                return;
            }
            // Over the limit: a request line that does not even end within it is an
            // over-long URI; otherwise the headers are too large.
            const bool lineEnded = m_buffer.find('\n') < limit;
            HttpRequest none;
            sendError(none, lineEnded ? 431 : 414, lineEnded ? "header too large\n" : "request too long\n", started);
            return;
        }
        std::string header = normaliseLineEnds(std::string_view(m_buffer).substr(0, end));
        repairRequestLine(header);
        m_buffer.erase(0, end);
        m_scanFrom = 0;

        http::request_parser<http::empty_body> parser;
        parser.header_limit(std::uint32_t(header.size() + 1));
        parser.eager(false);
        beast::error_code ec;
        parser.put(asio::buffer(header), ec);
        HttpRequest request;
        request.clientId = m_client;
        if (ec || !parser.is_header_done()) {
            sendError(request, 400, "bad request\n", started);
            return;
        }
        const auto &message = parser.get();
        // With a transfer coding other than chunked the body's length is unknown, so nothing
        // after this header can be told apart from a request (RFC 9112, 6.3).
        if (message.find(http::field::transfer_encoding) != message.end() && !parser.chunked()) {
            sendError(request, 400, "bad request\n", started);
            return;
        }
        if (m_clientKey.isEmpty() && !m_shared.options.trustedProxies.isEmpty())
            request.clientId = m_shared.options.trustedProxies.clientAddress(m_peer, message[http::field::forwarded],
                                                                             message["X-Forwarded-For"]);
        request.method = toByteArray(message.method_string());
        const std::string_view target = message.target();
        const bool keepAlive = message.keep_alive();

        if (!parser.is_done() || parser.chunked()) {
            // Nothing served here takes a body; skipping one safely is not worth it.
            sendError(request, 413, "no request body accepted\n", started);
            return;
        }
        if (!splitTarget(target, &request)) {
            sendError(request, 400, "bad request target\n", started);
            return;
        }
        const qsizetype targetLimit = m_shared.options.targetLimit;
        if (request.query.size() > targetLimit || request.path.size() > targetLimit) {
            sendError(request, 414, "request too long\n", started);
            return;
        }
        const bool head = message.method() == http::verb::head;
        if (message.method() != http::verb::get && !head) {
            HttpResponse response = HttpResponse::text(405, "method not allowed\n");
            response.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
            response.closeConnection = true;
            send(request, std::move(response), false, started);
            return;
        }
        request.ifNoneMatch = toByteArray(message[http::field::if_none_match]);
        request.acceptsGzip = acceptsGzip(message[http::field::accept_encoding]);

        HttpResponse response;
        try {
            response = m_shared.handler(request);
        } catch (...) {
            response = HttpResponse::text(500, "internal error\n");
        }
        const bool http10KeepAlive = message.version() == 10 && keepAlive;
        if (response.deferred) {
            defer(std::move(request), std::move(response.deferred), head, keepAlive, http10KeepAlive, started);
            return;
        }
        respond(request, std::move(response), head, keepAlive, http10KeepAlive, started);
    }

    void respond(const HttpRequest &request, HttpResponse response, bool head, bool keepAlive, bool http10KeepAlive,
                 Clock::time_point started)
    {
        if (response.status == 200 && etagMatches(request.ifNoneMatch, response.etag)) {
            response.status = 304;
            response.body.clear();
        }
        if (!keepAlive || m_shared.draining)
            response.closeConnection = true;
        send(request, std::move(response), head, started, http10KeepAlive);
    }

    // Slow work runs on the worker threads, so the serving threads stay free for the
    // quick answers; the connection waits for it (answers keep their order). Beyond the
    // bound on waiting work the answer is 503 at once.
    void defer(HttpRequest request, std::function<HttpResponse()> work, bool head, bool keepAlive, bool http10KeepAlive,
               Clock::time_point started)
    {
        if (++m_shared.deferred > m_shared.options.maxDeferred) {
            --m_shared.deferred;
            HttpResponse busy = HttpResponse::text(503, "busy, try again\n");
            busy.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("1")));
            respond(request, std::move(busy), head, keepAlive, http10KeepAlive, started);
            return;
        }
        m_writing = true; // busy: a shutdown lets it finish
        asio::post(*m_shared.workers,
                   [self = shared_from_this(), request = std::move(request), work = std::move(work), head, keepAlive,
                    http10KeepAlive, started]() mutable {
                       HttpResponse response;
                       try {
                           response = work();
                       } catch (...) {
                           response = HttpResponse::text(500, "internal error\n");
                       }
                       --self->m_shared.deferred;
                       asio::post(self->m_stream.get_executor(),
                                  [self, request = std::move(request), response = std::move(response), head, keepAlive,
                                   http10KeepAlive, started]() mutable {
                                      self->m_writing = false;
                                      self->respond(request, std::move(response), head, keepAlive, http10KeepAlive,
                                                    started);
                                  });
                   });
    }

    static bool splitTarget(std::string_view target, HttpRequest *request)
    {
        // Absolute form (a proxy's way of asking): drop scheme and authority.
        for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
            if (target.size() >= scheme.size()
                && QByteArray(target.data(), scheme.size()).toLower() == toByteArray(scheme)) {
                const std::size_t slash = target.find('/', scheme.size());
                target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
                break;
            }
        }
        if (target.empty() || target.front() != '/')
            return false;
        const std::size_t question = target.find('?');
        request->path = toByteArray(target.substr(0, question));
        if (question != std::string_view::npos)
            request->query = toByteArray(target.substr(question + 1));
        return true;
    }

    void sendError(const HttpRequest &request, int status, const QByteArray &body, Clock::time_point started)
    {
        HttpResponse response = HttpResponse::text(status, body);
        response.closeConnection = true;
        send(request, std::move(response), false, started);
    }

    void send(const HttpRequest &request, HttpResponse response, bool head, Clock::time_point started,
              bool http10KeepAlive = false)
    {
        m_close = response.closeConnection;
        std::string &h = m_header;
        h.clear();
        h += "HTTP/1.1 ";
        h += std::to_string(response.status);
        h += ' ';
        h += httpReason(response.status);
        h += "\r\nServer: norvale-directory\r\n";
        if (response.status != 304) {
            h += "Content-Type: ";
            h.append(response.contentType.constData(), response.contentType.size());
            h += "\r\nContent-Length: ";
            h += std::to_string(response.body.size());
            h += "\r\n";
        }
        if (!response.etag.isEmpty()) {
            h += "ETag: ";
            h.append(response.etag.constData(), response.etag.size());
            h += "\r\n";
        }
        for (const auto &[name, value] : response.headers) {
            h.append(name.constData(), name.size());
            h += ": ";
            h.append(value.constData(), value.size());
            h += "\r\n";
        }
        h += "X-Content-Type-Options: nosniff\r\n";
        if (m_close)
            h += "Connection: close\r\n";
        else if (http10KeepAlive)
            h += "Connection: keep-alive\r\n";
        h += "\r\n";
        m_body = (head || response.status == 304) ? QByteArray() : std::move(response.body);

        if (m_shared.log) {
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            m_shared.log->request(request.method.isEmpty() ? QByteArray("-") : request.method,
                                  request.path.isEmpty() ? QByteArray("-") : request.path, response.status, ms);
        }

        const std::array<asio::const_buffer, 2> buffers {asio::buffer(m_header),
                                                         asio::buffer(m_body.constData(), std::size_t(m_body.size()))};
        m_stream.expires_after(std::chrono::seconds(m_shared.options.idleSeconds));
        m_writing = true;
        asio::async_write(m_stream, buffers, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->m_writing = false;
            self->m_body.clear();
            if (ec) {
                self->closeNow();
                return;
            }
            if (self->m_close)
                self->closeGracefully();
            else
                self->nextRequest();
        });
    }

    // Half-close, then read what the client still sends until it closes: closing with
    // unread data would reset the connection and could destroy the answer in flight.
    void closeGracefully()
    {
        beast::error_code ec;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ec);
        m_stream.expires_after(kDrainTime);
        drain();
    }

    void drain()
    {
        m_stream.async_read_some(asio::buffer(m_chunk),
                                 [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                     self->m_drained += n;
                                     if (ec || self->m_drained > kDrainLimit)
                                         self->closeNow();
                                     else
                                         self->drain();
                                 });
    }

    void closeNow()
    {
        beast::error_code ec;
        m_stream.socket().close(ec);
    }

    beast::tcp_stream m_stream;
    Shared &m_shared;
    asio::ip::address m_peer;
    QString m_client;
    QString m_clientKey; // empty for a trusted proxy
    bool m_requestStarted = false; // a byte of the next request has arrived
    bool m_writing = false;
    std::size_t m_scanFrom = 0; // see headerEnd()
    std::string m_buffer;
    std::array<char, kReadChunk> m_chunk {};
    std::string m_header;
    QByteArray m_body;
    bool m_close = false;
    std::size_t m_drained = 0;
};

} // namespace

struct HttpServer::Private
{
    Shared shared;
    asio::io_context io {2};
    std::unique_ptr<asio::thread_pool> workers;
    std::unique_ptr<tcp::acceptor> acceptor;
    asio::steady_timer acceptRetry {io};
    std::vector<std::thread> threads;
    quint16 port = 0;
    bool running = false;

    void accept()
    {
        acceptor->async_accept(asio::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !acceptor->is_open())
                return;
            if (ec) {
                // Out of descriptors, most likely: accepting again at once would fail the same
                // way in a busy loop. The waiting clients stay in the backlog meanwhile.
                acceptRetry.expires_after(kAcceptRetry);
                acceptRetry.async_wait([this](beast::error_code waitError) {
                    if (!waitError)
                        accept();
                });
                return;
            }
            const bool overloaded = shared.connections.load() >= shared.options.maxConnections;
            std::make_shared<Session>(std::move(socket), shared)->start(overloaded);
            accept();
        });
    }
};

HttpServer::HttpServer(Options options, Handler handler, RequestLog *log)
    : d(std::make_unique<Private>())
{
    d->shared.options = std::move(options);
    d->shared.handler = std::move(handler);
    d->shared.log = log;
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::start(QString *error)
{
    beast::error_code ec;
    const auto address = asio::ip::make_address(d->shared.options.address.toStdString(), ec);
    if (ec) {
        if (error)
            *error = QStringLiteral("not an IP address: %1").arg(d->shared.options.address);
        return false;
    }
    const tcp::endpoint endpoint(address, d->shared.options.port);
    auto acceptor = std::make_unique<tcp::acceptor>(d->io);
    acceptor->open(endpoint.protocol(), ec);
    if (!ec)
        acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor->bind(endpoint, ec);
    if (!ec)
        acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(d->shared.options.address)
                         .arg(d->shared.options.port)
                         .arg(QString::fromStdString(ec.message()));
        return false;
    }
    // Every connection takes a descriptor: the limit stays below the process's own, so that
    // a crowd of clients gets 503 answers instead of failing accepts.
    rlimit files {};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        const long room = long(files.rlim_cur) - kReservedDescriptors;
        d->shared.options.maxConnections =
            int(std::clamp<long>(room, 1, std::max(1, d->shared.options.maxConnections)));
    }
    d->workers = std::make_unique<asio::thread_pool>(std::size_t(std::max(1, d->shared.options.workerThreads)));
    d->shared.workers = d->workers.get();
    d->port = acceptor->local_endpoint().port();
    d->acceptor = std::move(acceptor);
    d->accept();
    const int threads = std::max(1, d->shared.options.threads);
    for (int i = 0; i < threads; ++i)
        d->threads.emplace_back([this] { d->io.run(); });
    d->running = true;
    return true;
}

quint16 HttpServer::port() const
{
    return d->port;
}

void HttpServer::stop(int graceSeconds)
{
    if (!d->running)
        return;
    d->running = false;
    asio::post(d->io, [this] {
        beast::error_code ec;
        d->acceptor->close(ec);
    });
    if (graceSeconds > 0) {
        d->shared.draining = true;
        std::vector<std::shared_ptr<Session>> sessions;
        {
            std::lock_guard lock(d->shared.mutex);
            for (const auto &entry : d->shared.sessions) {
                if (auto session = entry.second.lock())
                    sessions.push_back(std::move(session));
            }
        }
        for (const auto &session : sessions)
            session->closeIfIdle();
        sessions.clear(); // a session holding its last reference here would end off its strand
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(graceSeconds);
        while (d->shared.connections.load() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    d->io.stop();
    for (std::thread &thread : d->threads)
        thread.join();
    d->threads.clear();
    d->workers->join(); // what they still run ends in a post to the stopped io_context
    // No thread runs the io_context any more: new clients are refused from here on, not
    // left waiting in the backlog while the caller finishes its shutdown.
    beast::error_code ec;
    d->acceptor->close(ec);
}
