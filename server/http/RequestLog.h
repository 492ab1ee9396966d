#pragma once

// One line per request on a stdio stream (stderr by default). Serving threads write
// concurrently, so each line is formatted first and written whole under a lock.

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <mutex>

class RequestLog final
{
public:
    explicit RequestLog(std::FILE *stream = stderr);

    // path is logged without its query: search words and stream URLs stay out of the log.
    void request(const QByteArray &method, const QByteArray &path, int status, double milliseconds);
    void message(const QString &text);
    void setEnabled(bool enabled) { m_enabled = enabled; }

private:
    void writeLine(const char *text, std::size_t length);

    std::FILE *m_stream;
    std::mutex m_mutex;
    bool m_enabled = true;
};
