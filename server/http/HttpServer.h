#pragma once

// A small HTTP/1.1 server over Boost.Asio with Boost.Beast's request parser: GET and HEAD
// without bodies, keep-alive (HTTP/1.0 only when asked for), pipelining, and the framing
// done here so that requests whose lines end in a bare LF are served like CRLF ones.
// Responses carrying an ETag are answered with 304 when If-None-Match names it.
// The io_context runs on threads of its own; the handler is called on those threads.

#include "http/ClientAddress.h"
#include "http/HttpMessage.h"

#include <QString>
#include <functional>
#include <memory>

class RequestLog;

class HttpServer final
{
public:
    struct Options
    {
        QString address = QStringLiteral("127.0.0.1");
        quint16 port = 8642; // 0: any free port, see port()
        int threads = 2;
        int headerLimit = 16 * 1024; // request line and headers
        int targetLimit = 4 * 1024; // path or query longer than this: 414
        int idleSeconds = 30; // keep-alive wait for the next request's first byte
        int headerSeconds = 10; // from a request's first byte to the end of its header
        int maxConnections = 2048; // beyond: 503 and close; lowered to fit the descriptor limit
        // Open connections of one client (see clientKeyOf()); beyond: 503 and close.
        // Trusted proxies carry many clients and are not held to it.
        int maxConnectionsPerClient = 64;
        // Threads for the work a handler defers (HttpResponse::deferred), and how much
        // of it may wait; beyond, 503 at once.
        int workerThreads = 1;
        int maxDeferred = 256;
        TrustedProxies trustedProxies;
    };
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    HttpServer(Options options, Handler handler, RequestLog *log);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Binds and starts the threads; false with a message when the address cannot be used.
    bool start(QString *error);
    quint16 port() const;
    // Stops accepting; requests in progress are answered (with "Connection: close") for up
    // to graceSeconds while idle connections are closed; then drops what is left and
    // joins the threads.
    void stop(int graceSeconds = 0);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// True when an If-None-Match value names etag ("*", lists, weak forms).
bool etagMatches(const QByteArray &ifNoneMatch, const QByteArray &etag);
