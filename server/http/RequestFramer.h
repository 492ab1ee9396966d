#pragma once

// Request framing apart from any socket: the bytes of a connection go in as they arrive,
// and each complete request header comes out as a request, or as the answer that ends the
// connection. Lines may end in CRLF or in a bare LF, empty lines before a request line are
// skipped, and the header is scanned once as it arrives, never from its start again. At
// most the header limit waits for a header to end (414 or 431 beyond it); no request body
// is taken (413). Only GET and HEAD come out as requests.

#include "http/HttpMessage.h"

#include <cstddef>
#include <string>

class RequestFramer final
{
public:
    struct Limits
    {
        std::size_t header = 16 * 1024; // request line and headers
        qsizetype target = 4 * 1024; // path or query longer than this: 414
    };

    struct Framed
    {
        enum class Kind { NeedMore, Request, Error };
        Kind kind = Kind::NeedMore;
        // For an error as far as it was read (the log names method and path).
        HttpRequest request;
        HttpResponse error; // Kind::Error: the answer; it closes the connection
        bool head = false;
        bool keepAlive = false;
        bool http10KeepAlive = false; // an HTTP/1.0 client asked to keep the connection
        // Where a trusted proxy names the client (see TrustedProxies::clientAddress).
        std::string forwarded;
        std::string forwardedFor;
    };

    explicit RequestFramer(Limits limits);

    void append(const char *data, std::size_t size);
    // The next request in what has arrived; an error ends the connection.
    Framed next();
    // Bytes kept: a request that has begun, or requests pipelined behind the current one.
    std::size_t buffered() const { return m_buffer.size(); }

private:
    Limits m_limits;
    std::string m_buffer;
    std::size_t m_scanFrom = 0; // start of the first line not yet seen whole
};
