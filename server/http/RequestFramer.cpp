#include "http/RequestFramer.h"

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <cctype>
#include <string_view>

namespace beast = boost::beast;
namespace http = boost::beast::http;

namespace {

QByteArray toByteArray(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

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

// Accept-Encoding names gzip (or "*") with a weight above zero. Read in place: it comes
// with nearly every request.
bool acceptsGzip(std::string_view header)
{
    const auto trimmed = [](std::string_view text) {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix(1);
        return text;
    };
    const auto equalsLower = [](std::string_view text, std::string_view lower) {
        if (text.size() != lower.size())
            return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (char(std::tolower(static_cast<unsigned char>(text[i]))) != lower[i])
                return false;
        }
        return true;
    };
    while (!header.empty()) {
        const std::size_t comma = header.find(',');
        std::string_view item = header.substr(0, comma);
        header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
        const std::size_t semicolon = item.find(';');
        const std::string_view coding = trimmed(item.substr(0, semicolon));
        if (!equalsLower(coding, "gzip") && !equalsLower(coding, "x-gzip") && coding != "*")
            continue;
        std::string_view parameters =
            semicolon == std::string_view::npos ? std::string_view() : item.substr(semicolon + 1);
        while (!parameters.empty()) {
            const std::size_t next = parameters.find(';');
            const std::string_view p = trimmed(parameters.substr(0, next));
            parameters = next == std::string_view::npos ? std::string_view() : parameters.substr(next + 1);
            if (p.size() >= 2 && equalsLower(p.substr(0, 2), "q=")
                && QByteArray(p.data() + 2, qsizetype(p.size() - 2)).toDouble() <= 0.0)
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
    // Both blanks within the request line: a line without one (but a blank in a header
    // below) would otherwise take the target to run past the end of the text.
    const std::size_t first = header.find(' ');
    if (first >= lineEnd)
        return;
    const std::size_t last = header.rfind(' ', lineEnd);
    if (first >= last || header.compare(last + 1, 5, "HTTP/") != 0)
        return;
    const auto needsEncoding = [](unsigned char c) {
        return c <= 0x20 || c >= 0x7f || std::string_view("\"<>\\^`{|}").find(char(c)) != std::string_view::npos;
    };
    bool any = false;
    for (std::size_t i = first + 1; i < last && !any; ++i)
        any = needsEncoding(static_cast<unsigned char>(header[i]));
    if (!any)
        return;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string target;
    bool changed = false;
    for (std::size_t i = first + 1; i < last; ++i) {
        const unsigned char c = static_cast<unsigned char>(header[i]);
        if (needsEncoding(c)) {
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

bool splitTarget(std::string_view target, HttpRequest *request)
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

RequestFramer::Framed failed(RequestFramer::Framed framed, int status, const QByteArray &body)
{
    framed.kind = RequestFramer::Framed::Kind::Error;
    framed.error = HttpResponse::text(status, body);
    framed.error.closeConnection = true;
    return framed;
}

} // namespace

RequestFramer::RequestFramer(Limits limits)
    : m_limits(limits)
{ }

void RequestFramer::append(const char *data, std::size_t size)
{
    m_buffer.append(data, size);
}

RequestFramer::Framed RequestFramer::next()
{
    Framed framed;
    if (m_scanFrom == 0) {
        // Empty lines before a request line are skipped, as RFC 9112 asks of a server.
        const std::size_t first = m_buffer.find_first_not_of("\r\n");
        m_buffer.erase(0, first == std::string::npos ? m_buffer.size() : first);
    }
    const std::size_t limit = m_limits.header;
    const std::size_t end = headerEnd(std::string_view(m_buffer).substr(0, limit + 2), &m_scanFrom);
    if (end == std::string_view::npos) {
        // Waits until the scan's whole window has arrived, so that a header ending right at
        // its edge is taken however the bytes were split on their way.
        if (m_buffer.size() < limit + 2)
            return framed;
        // Over the limit: a request line that does not even end within it is an
        // over-long URI; otherwise the headers are too large.
        const bool lineEnded = m_buffer.find('\n') < limit;
        return failed(std::move(framed), lineEnded ? 431 : 414,
                      lineEnded ? "header too large\n" : "request too long\n");
    }
    std::string header = normaliseLineEnds(std::string_view(m_buffer).substr(0, end));
    repairRequestLine(header);
    m_buffer.erase(0, end);
    m_scanFrom = 0;

    http::request_parser<http::empty_body> parser;
    parser.header_limit(std::uint32_t(header.size() + 1));
    parser.eager(false);
    beast::error_code ec;
    parser.put(boost::asio::buffer(header), ec);
    if (ec || !parser.is_header_done())
        return failed(std::move(framed), 400, "bad request\n");
    const auto &message = parser.get();
    // With a transfer coding other than chunked the body's length is unknown, so nothing
    // after this header can be told apart from a request (RFC 9112, 6.3).
    if (message.find(http::field::transfer_encoding) != message.end() && !parser.chunked())
        return failed(std::move(framed), 400, "bad request\n");
    framed.forwarded = std::string(message[http::field::forwarded]);
    framed.forwardedFor = std::string(message["X-Forwarded-For"]);
    HttpRequest &request = framed.request;
    request.method = toByteArray(message.method_string());
    framed.keepAlive = message.keep_alive();

    if (!parser.is_done() || parser.chunked()) {
        // Nothing served here takes a body; skipping one safely is not worth it.
        return failed(std::move(framed), 413, "no request body accepted\n");
    }
    if (!splitTarget(message.target(), &request))
        return failed(std::move(framed), 400, "bad request target\n");
    if (request.query.size() > m_limits.target || request.path.size() > m_limits.target)
        return failed(std::move(framed), 414, "request too long\n");
    framed.head = message.method() == http::verb::head;
    if (message.method() != http::verb::get && !framed.head) {
        framed = failed(std::move(framed), 405, "method not allowed\n");
        framed.error.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
        return framed;
    }
    request.ifNoneMatch = toByteArray(message[http::field::if_none_match]);
    request.acceptsGzip = acceptsGzip(message[http::field::accept_encoding]);
    framed.http10KeepAlive = message.version() == 10 && framed.keepAlive;
    framed.kind = Framed::Kind::Request;
    return framed;
}
