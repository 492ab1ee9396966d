#pragma once

// One client connection of HttpServer: reads requests through a RequestFramer, answers
// them in order (keep-alive, pipelining), hands slow work to the worker threads and
// closes gracefully. Everything a session does runs on the one serving thread it is bound to.

#include "http/ClientAddress.h"
#include "http/HttpServer.h"
#include "http/RequestFramer.h"

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <memory>
#include <mutex>
#include <unordered_map>

class HttpSession;
class RequestLog;

// What the sessions of one server share with it and with each other.
struct HttpServerShared
{
    HttpServer::Options options;
    HttpServer::Handler handler;
    RequestLog *log = nullptr;
    std::atomic<int> connections {0};
    std::atomic<bool> draining {false};
    std::atomic<int> deferred {0}; // work waiting for or running on the workers
    boost::asio::thread_pool *workers = nullptr;
    // Open connections per client key, and every live session (for the shutdown).
    std::mutex mutex;
    std::unordered_map<QString, int> perClient;
    std::unordered_map<HttpSession *, std::weak_ptr<HttpSession>> sessions;
};

class HttpSession final : public std::enable_shared_from_this<HttpSession>
{
public:
    // The serving thread's own executor type, not the type-erased default: every
    // operation of a request would otherwise copy and call through a type-erased executor.
    using Executor = boost::asio::io_context::executor_type;
    using Socket = boost::asio::basic_stream_socket<boost::asio::ip::tcp, Executor>;
    using Timer = boost::asio::basic_waitable_timer<std::chrono::steady_clock,
                                                    boost::asio::wait_traits<std::chrono::steady_clock>, Executor>;

    HttpSession(Socket socket, HttpServerShared &shared);
    ~HttpSession();

    // overloaded: the server is at its connection limit; the client gets 503 and the close.
    void start(bool overloaded);
    // On the session's thread: a connection waiting for a request is closed; one in the
    // middle of a request finishes it (its answer says "Connection: close").
    void closeIfIdle();

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kReadChunk = 8192;

    void nextRequest();
    void readMore();
    void processBuffer();
    void respond(const HttpRequest &request, HttpResponse response, bool head, bool keepAlive, bool http10KeepAlive,
                 Clock::time_point started);
    void defer(HttpRequest request, std::function<HttpResponse()> work, bool head, bool keepAlive, bool http10KeepAlive,
               Clock::time_point started);
    void hold(const HttpRequest &request, HttpResponse response, bool head, bool keepAlive, bool http10KeepAlive,
              Clock::time_point started);
    struct Held;
    void answerHeld(Held &held);
    void sendError(const HttpRequest &request, int status, const QByteArray &body, Clock::time_point started);
    void send(const HttpRequest &request, HttpResponse response, bool head, Clock::time_point started,
              bool http10KeepAlive = false);
    void writeFile();
    void written(bool ok);
    void closeGracefully();
    void drain();
    void closeNow();
    void setDeadline(std::chrono::seconds after);
    void watchDeadline();

    Socket m_socket;
    // Time-outs: the deadline is a plain time that each step moves, and one timer per
    // session looks at it once a second. Arming and cancelling a timer for every read and
    // write cost more than the rest of a keep-alive request; a time-out may now end up to
    // a second late.
    Timer m_deadlineTimer;
    Clock::time_point m_deadline = Clock::time_point::max();
    HttpServerShared &m_shared;
    boost::asio::ip::address m_peer;
    QString m_client;
    QString m_clientKey; // empty for a trusted proxy
    bool m_requestStarted = false; // a byte of the next request has arrived
    bool m_writing = false;
    RequestFramer m_framer;
    std::array<char, kReadChunk> m_chunk {};
    std::string m_header;
    QByteArray m_body;
    // An answer whose body is sent from a file: header bytes sent, then the file's part.
    std::shared_ptr<const BodyFile> m_file;
    qint64 m_fileOffset = 0;
    qint64 m_fileLeft = 0;
    std::size_t m_headerSent = 0;
    bool m_close = false;
    std::size_t m_drained = 0;
};
