#include "http/HttpSession.h"

#include "http/RequestLog.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <string>
#include <sys/sendfile.h>
#include <sys/socket.h>

namespace asio = boost::asio;
using boost::system::error_code;
using tcp = asio::ip::tcp;

namespace {

constexpr std::size_t kDrainLimit = 4 * 1024 * 1024;
constexpr auto kDrainTime = std::chrono::seconds(2);

} // namespace

HttpSession::HttpSession(Socket socket, HttpServerShared &shared)
    : m_socket(std::move(socket))
    , m_deadlineTimer(m_socket.get_executor())
    , m_shared(shared)
    , m_framer({std::size_t(shared.options.headerLimit), shared.options.targetLimit})
{
    ++m_shared.connections;
    error_code ec;
    const auto endpoint = m_socket.remote_endpoint(ec);
    if (!ec) {
        m_peer = endpoint.address();
        m_client = QString::fromStdString(m_peer.to_string());
    }
    m_socket.set_option(tcp::no_delay(true), ec);
    // A trusted proxy speaks for many clients: it is not one client to cap.
    if (!ec && !m_shared.options.trustedProxies.contains(m_peer))
        m_clientKey = clientKeyOf(m_client);
}

HttpSession::~HttpSession()
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

void HttpSession::start(bool overloaded)
{
    {
        std::lock_guard lock(m_shared.mutex);
        m_shared.sessions.emplace(this, weak_from_this());
        if (!m_clientKey.isEmpty())
            overloaded = ++m_shared.perClient[m_clientKey] > m_shared.options.maxConnectionsPerClient || overloaded;
    }
    watchDeadline();
    if (overloaded) {
        HttpRequest none;
        none.clientId = m_client;
        sendError(none, 503, "busy\n", Clock::now());
        return;
    }
    nextRequest();
}

void HttpSession::closeIfIdle()
{
    asio::post(m_socket.get_executor(), [self = shared_from_this()] {
        if (!self->m_requestStarted && !self->m_writing)
            self->closeNow();
    });
}

void HttpSession::nextRequest()
{
    // Only the first byte of a request may be waited for as long as a keep-alive
    // connection idles; the rest of its header must follow within the header deadline.
    m_requestStarted = m_framer.buffered() > 0;
    if (!m_requestStarted && m_shared.draining) {
        closeNow();
        return;
    }
    setDeadline(std::chrono::seconds(m_requestStarted ? m_shared.options.headerSeconds : m_shared.options.idleSeconds));
    processBuffer();
}

void HttpSession::readMore()
{
    m_socket.async_read_some(asio::buffer(m_chunk), [self = shared_from_this()](error_code ec, std::size_t n) {
        if (ec) {
            // Time-outs, resets and end of stream all end the
            // connection; a half-sent request gets no answer.
            self->closeNow();
            return;
        }
        if (!self->m_requestStarted) {
            self->m_requestStarted = true;
            self->setDeadline(std::chrono::seconds(self->m_shared.options.headerSeconds));
        }
        self->m_framer.append(self->m_chunk.data(), n);
        self->processBuffer();
    });
}

void HttpSession::processBuffer()
{
    const auto started = Clock::now();
    RequestFramer::Framed framed = m_framer.next();
    if (framed.kind == RequestFramer::Framed::Kind::NeedMore) {
        readMore();
        return;
    }
    // A whole request is in: the work on it (a deferred search, an answer held for its
    // write) has no deadline; sending the answer has one again.
    m_deadline = Clock::time_point::max();
    HttpRequest &request = framed.request;
    request.clientId = m_client;
    if (framed.kind == RequestFramer::Framed::Kind::Error) {
        send(request, std::move(framed.error), false, started);
        return;
    }
    if (m_clientKey.isEmpty() && !m_shared.options.trustedProxies.isEmpty())
        request.clientId = m_shared.options.trustedProxies.clientAddress(m_peer, framed.forwarded, framed.forwardedFor);

    HttpResponse response;
    try {
        response = m_shared.handler(request);
    } catch (...) {
        response = HttpResponse::text(500, "internal error\n");
    }
    if (response.deferred) {
        defer(std::move(request), std::move(response.deferred), framed.head, framed.keepAlive, framed.http10KeepAlive,
              started);
        return;
    }
    respond(request, std::move(response), framed.head, framed.keepAlive, framed.http10KeepAlive, started);
}

void HttpSession::respond(const HttpRequest &request, HttpResponse response, bool head, bool keepAlive,
                          bool http10KeepAlive, Clock::time_point started)
{
    if (response.holdUntil) {
        hold(request, std::move(response), head, keepAlive, http10KeepAlive, started);
        return;
    }
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
void HttpSession::defer(HttpRequest request, std::function<HttpResponse()> work, bool head, bool keepAlive,
                        bool http10KeepAlive, Clock::time_point started)
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
                   asio::post(self->m_socket.get_executor(),
                              [self, request = std::move(request), response = std::move(response), head, keepAlive,
                               http10KeepAlive, started]() mutable {
                                  self->m_writing = false;
                                  self->respond(request, std::move(response), head, keepAlive, http10KeepAlive,
                                                started);
                              });
               });
}

// An answer waiting for what it confirms (see HttpResponse::holdUntil).
struct HttpSession::Held
{
    Timer timer;
    HttpRequest request;
    HttpResponse response;
    bool head = false;
    bool keepAlive = false;
    bool http10KeepAlive = false;
    Clock::time_point started;
    bool answered = false;
};

// The answer waits for what it confirms, at most its holdMs; the connection waits with it
// (answers keep their order), and a shutdown lets it finish. Only the timer holds the
// session meanwhile: the call may come after the server is gone, and then reaches nothing.
void HttpSession::hold(const HttpRequest &request, HttpResponse response, bool head, bool keepAlive,
                       bool http10KeepAlive, Clock::time_point started)
{
    const auto holdUntil = std::move(response.holdUntil);
    response.holdUntil = nullptr;
    const auto wait = std::chrono::milliseconds(response.holdMs);
    auto held = std::make_shared<Held>(
        Held {Timer(m_socket.get_executor()), request, std::move(response), head, keepAlive, http10KeepAlive, started});
    m_writing = true;
    held->timer.expires_after(wait);
    held->timer.async_wait([self = shared_from_this(), held](const error_code &) { self->answerHeld(*held); });
    holdUntil([session = weak_from_this(), weakHeld = std::weak_ptr<Held>(held)] {
        const auto self = session.lock();
        const auto held = weakHeld.lock();
        if (self && held)
            asio::post(self->m_socket.get_executor(), [self, held] { self->answerHeld(*held); });
    });
}

// On the session's thread, from the timer or from the call; the first one answers.
void HttpSession::answerHeld(Held &held)
{
    if (held.answered)
        return;
    held.answered = true;
    held.timer.cancel();
    m_writing = false;
    respond(held.request, std::move(held.response), held.head, held.keepAlive, held.http10KeepAlive, held.started);
}

void HttpSession::sendError(const HttpRequest &request, int status, const QByteArray &body, Clock::time_point started)
{
    HttpResponse response = HttpResponse::text(status, body);
    response.closeConnection = true;
    send(request, std::move(response), false, started);
}

void HttpSession::send(const HttpRequest &request, HttpResponse response, bool head, Clock::time_point started,
                       bool http10KeepAlive)
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

    if (response.file && !m_body.isEmpty()) {
        m_file = std::move(response.file);
        m_fileOffset = response.fileOffset;
        m_fileLeft = m_body.size();
        m_body.clear();
        m_headerSent = 0;
        m_writing = true;
        error_code ec;
        if (!m_socket.native_non_blocking()) // sendfile has no flag for it
            m_socket.native_non_blocking(true, ec);
        setDeadline(std::chrono::seconds(m_shared.options.idleSeconds));
        writeFile();
        return;
    }
    const std::array<asio::const_buffer, 2> buffers {asio::buffer(m_header),
                                                     asio::buffer(m_body.constData(), std::size_t(m_body.size()))};
    setDeadline(std::chrono::seconds(m_shared.options.idleSeconds));
    m_writing = true;
    asio::async_write(m_socket, buffers, [self = shared_from_this()](error_code ec, std::size_t) {
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

// The header goes out with MSG_MORE so that it shares its packet with the body's start;
// the body goes from the file to the socket with sendfile, without passing through here.
void HttpSession::writeFile()
{
    auto &socket = m_socket;
    error_code ec;
    const int fd = socket.native_handle();
    while (!ec && (m_headerSent < m_header.size() || m_fileLeft > 0)) {
        ssize_t n;
        if (m_headerSent < m_header.size()) {
            n = ::send(fd, m_header.data() + m_headerSent, m_header.size() - m_headerSent,
                       MSG_MORE | MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                m_headerSent += std::size_t(n);
        } else {
            off_t offset = off_t(m_fileOffset);
            n = ::sendfile(fd, m_file->fd(), &offset, std::size_t(m_fileLeft));
            if (n > 0) {
                m_fileOffset += n;
                m_fileLeft -= n;
            }
        }
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            socket.async_wait(tcp::socket::wait_write, [self = shared_from_this()](error_code waitError) {
                if (waitError)
                    self->written(false);
                else
                    self->writeFile();
            });
            return;
        }
        ec = asio::error::broken_pipe; // a closed socket, or a file shorter than its list
    }
    // Finished at once: carried on from the event loop, as an asynchronous write would be,
    // so that pipelined requests do not nest.
    asio::post(m_socket.get_executor(), [self = shared_from_this(), ok = !ec] { self->written(ok); });
}

void HttpSession::written(bool ok)
{
    m_file.reset();
    m_writing = false;
    if (!ok)
        closeNow();
    else if (m_close)
        closeGracefully();
    else
        nextRequest();
}

// Half-close, then read what the client still sends until it closes: closing with
// unread data would reset the connection and could destroy the answer in flight.
void HttpSession::closeGracefully()
{
    error_code ec;
    m_socket.shutdown(tcp::socket::shutdown_send, ec);
    setDeadline(std::chrono::duration_cast<std::chrono::seconds>(kDrainTime));
    drain();
}

void HttpSession::drain()
{
    m_socket.async_read_some(asio::buffer(m_chunk), [self = shared_from_this()](error_code ec, std::size_t n) {
        self->m_drained += n;
        if (ec || self->m_drained > kDrainLimit)
            self->closeNow();
        else
            self->drain();
    });
}

void HttpSession::closeNow()
{
    error_code ec;
    m_socket.close(ec);
    m_deadlineTimer.cancel();
}

void HttpSession::setDeadline(std::chrono::seconds after)
{
    m_deadline = Clock::now() + after;
}

// Holds the session while its socket is open; closeNow() cancels it, so that a closed
// session is freed at once.
void HttpSession::watchDeadline()
{
    const auto now = Clock::now();
    if (now >= m_deadline) {
        closeNow();
        return;
    }
    m_deadlineTimer.expires_after(std::min<Clock::duration>(m_deadline - now, std::chrono::seconds(1)));
    m_deadlineTimer.async_wait([self = shared_from_this()](error_code ec) {
        if (!ec && self->m_socket.is_open())
            self->watchDeadline();
    });
}
