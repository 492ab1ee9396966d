#pragma once

// What the HTTP layer hands to the routes and gets back. Bodies are QByteArrays so that
// a list body taken from the catalogue snapshot is shared, not copied, on its way out.

#include "catalogue/BodyFile.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

struct HttpRequest
{
    QByteArray method; // "GET", "HEAD", ...
    QByteArray path; // raw, still percent-encoded, always starting with "/"
    QByteArray query; // raw text after "?", empty when absent
    QByteArray ifNoneMatch;
    QString clientId; // the client's address: the peer's, or a trusted proxy's forwarded one
    bool acceptsGzip = false; // Accept-Encoding names gzip (or "*") without q=0
};

struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    // When set, body's bytes also stand in this file at fileOffset: they are sent from there.
    std::shared_ptr<const BodyFile> file;
    qint64 fileOffset = 0;
    QByteArray etag; // quoted; empty for none
    QList<QPair<QByteArray, QByteArray>> headers; // further headers
    bool closeConnection = false;
    // Set for slow work (a search): the server runs it on a worker thread, off the
    // serving threads, and sends what it returns instead of this response.
    std::function<HttpResponse()> deferred;
    // Set to send this answer only once what it confirms is done (a report written to the
    // database): the server calls it with a function that may be called on any thread,
    // and answers at that call, or after holdMs when it does not come.
    std::function<void(std::function<void()> done)> holdUntil;
    int holdMs = 5000;

    static HttpResponse text(int status, const QByteArray &body)
    {
        HttpResponse response;
        response.status = status;
        response.body = body;
        return response;
    }
};

// Reason phrase of the status codes this server sends.
inline const char *httpReason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}
