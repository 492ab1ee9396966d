// The directory server's request framing, fed what a client may send. The first byte
// sets the size of the pieces the rest arrives in: framing must give the same requests
// and the same error whether the bytes come at once or in pieces, and stay within its
// bounds either way.

#include "http/RequestFramer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Small limits, so that the fuzzer reaches them.
constexpr RequestFramer::Limits kLimits {512, 128};

struct Outcome
{
    int status = 0; // 0 for a request
    QByteArray method, path, query, ifNoneMatch;
    bool head = false, keepAlive = false, http10KeepAlive = false, gzip = false;
    std::string forwarded, forwardedFor;

    bool operator==(const Outcome &) const = default;
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Frames everything available; false once the connection would end.
bool drain(RequestFramer &framer, std::vector<Outcome> *out)
{
    while (true) {
        RequestFramer::Framed framed = framer.next();
        if (framed.kind == RequestFramer::Framed::Kind::NeedMore) {
            check(framer.buffered() <= kLimits.header + 1);
            return true;
        }
        const HttpRequest &r = framed.request;
        Outcome o {0,
                   r.method,
                   r.path,
                   r.query,
                   r.ifNoneMatch,
                   framed.head,
                   framed.keepAlive,
                   framed.http10KeepAlive,
                   r.acceptsGzip,
                   framed.forwarded,
                   framed.forwardedFor};
        if (framed.kind == RequestFramer::Framed::Kind::Error) {
            const int s = framed.error.status;
            check(s == 400 || s == 405 || s == 413 || s == 414 || s == 431);
            check(framed.error.closeConnection);
            o.status = s;
            out->push_back(std::move(o));
            return false;
        }
        check(r.method == "GET" || r.method == "HEAD");
        check(r.path.startsWith('/'));
        check(r.path.size() <= kLimits.target && r.query.size() <= kLimits.target);
        check(framed.head == (r.method == "HEAD"));
        out->push_back(std::move(o));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t length = size - 1;

    RequestFramer whole(kLimits);
    whole.append(bytes, length);
    std::vector<Outcome> expected;
    drain(whole, &expected);

    RequestFramer pieces(kLimits);
    std::vector<Outcome> got;
    for (std::size_t at = 0; at < length; at += piece) {
        pieces.append(bytes + at, std::min(piece, length - at));
        if (!drain(pieces, &got))
            break;
    }
    check(got == expected);
    return 0;
}
