#include "http/HttpServer.h"

#include "http/HttpSession.h"

#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace asio = boost::asio;
using boost::system::error_code;
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

// Descriptors kept free of connections: the database, the log, and the sockets of the
// 503 answers that are still being drained.
constexpr long kReservedDescriptors = 32;
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);

} // namespace

struct HttpServer::Private
{
    HttpServerShared shared;
    // One io_context per serving thread, each connection bound to one of them: a session's
    // handlers run on one thread without a strand, and the threads share no reactor queue,
    // lock or wake-ups. Sockets are handed out in turn.
    std::vector<std::unique_ptr<asio::io_context>> contexts;
    std::size_t nextContext = 0;
    asio::io_context &io = *contexts.emplace_back(std::make_unique<asio::io_context>(1));
    // A context without a connection yet must keep running until stop().
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning;
    std::unique_ptr<asio::thread_pool> workers;
    std::unique_ptr<tcp::acceptor> acceptor;
    asio::steady_timer acceptRetry {io};
    std::vector<std::thread> threads;
    quint16 port = 0;
    bool running = false;

    void accept()
    {
        asio::io_context &context = *contexts[nextContext++ % contexts.size()];
        acceptor->async_accept(context.get_executor(), [this](error_code ec, HttpSession::Socket socket) {
            if (ec == asio::error::operation_aborted || !acceptor->is_open())
                return;
            if (ec) {
                // Out of descriptors, most likely: accepting again at once would fail the same
                // way in a busy loop. The waiting clients stay in the backlog meanwhile.
                acceptRetry.expires_after(kAcceptRetry);
                acceptRetry.async_wait([this](error_code waitError) {
                    if (!waitError)
                        accept();
                });
                return;
            }
            const bool overloaded = shared.connections.load() >= shared.options.maxConnections;
            std::make_shared<HttpSession>(std::move(socket), shared)->start(overloaded);
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
    error_code ec;
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
    const int threads = std::max(1, d->shared.options.threads);
    while (int(d->contexts.size()) < threads)
        d->contexts.push_back(std::make_unique<asio::io_context>(1));
    d->accept();
    for (const auto &context : d->contexts) {
        d->keepRunning.push_back(asio::make_work_guard(*context));
        d->threads.emplace_back([context = context.get()] {
            // sendfile has no MSG_NOSIGNAL: a client gone mid-answer must give EPIPE here,
            // not a SIGPIPE that ends the process. Blocked in the serving threads only.
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
            context->run();
        });
    }
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
        error_code ec;
        d->acceptor->close(ec);
    });
    if (graceSeconds > 0) {
        d->shared.draining = true;
        std::vector<std::shared_ptr<HttpSession>> sessions;
        {
            std::lock_guard lock(d->shared.mutex);
            for (const auto &entry : d->shared.sessions) {
                if (auto session = entry.second.lock())
                    sessions.push_back(std::move(session));
            }
        }
        for (const auto &session : sessions)
            session->closeIfIdle();
        sessions.clear(); // a session holding its last reference here would end off its thread
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(graceSeconds);
        while (d->shared.connections.load() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (const auto &context : d->contexts)
        context->stop();
    for (std::thread &thread : d->threads)
        thread.join();
    d->threads.clear();
    d->workers->join(); // what they still run ends in a post to the stopped io_context
    // No thread runs the io_context any more: new clients are refused from here on, not
    // left waiting in the backlog while the caller finishes its shutdown.
    error_code ec;
    d->acceptor->close(ec);
}
