#include "http/RequestLog.h"

#include <QDateTime>
#include <string>

namespace {

// Control characters and anything outside printable ASCII would let a client forge log
// lines or break a terminal; they are shown as "?".
std::string printable(const QByteArray &text, int maxLength)
{
    std::string out;
    const int length = std::min<int>(text.size(), maxLength);
    out.reserve(length + 3);
    for (int i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text.at(i));
        out.push_back(c >= 0x20 && c < 0x7f ? char(c) : '?');
    }
    if (text.size() > maxLength)
        out += "...";
    return out;
}

} // namespace

RequestLog::RequestLog(std::FILE *stream)
    : m_stream(stream)
{ }

void RequestLog::request(const QByteArray &method, const QByteArray &path, int status, double milliseconds)
{
    if (!m_enabled || !m_stream)
        return;
    const QByteArray stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
    char line[512];
    const int length = std::snprintf(line, sizeof line, "%s %s %s %d %.2f ms\n", stamp.constData(),
                                     printable(method, 16).c_str(), printable(path, 300).c_str(), status, milliseconds);
    if (length > 0)
        writeLine(line, std::min<std::size_t>(length, sizeof line - 1));
}

void RequestLog::message(const QString &text)
{
    if (!m_stream)
        return;
    const QByteArray line =
        QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + ' ' + text.toUtf8() + '\n';
    writeLine(line.constData(), line.size());
}

void RequestLog::writeLine(const char *text, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    std::fwrite(text, 1, length, m_stream);
    std::fflush(m_stream);
}
