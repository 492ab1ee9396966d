#include "http/QueryString.h"

#include <QList>
#include <QStringDecoder>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<QString> percentDecode(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            bytes.append(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            bytes.append(c);
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError() || decoded.contains(QChar(0)))
        return std::nullopt;
    return decoded;
}

QueryString::QueryString(QByteArray raw)
    : m_raw(std::move(raw))
{ }

qsizetype QueryString::valueStart(QByteArrayView key) const
{
    const QByteArray marker = key.toByteArray() + '=';
    if (m_raw.startsWith(marker))
        return marker.size();
    const qsizetype at = m_raw.indexOf('&' + marker);
    return at < 0 ? -1 : at + 1 + marker.size();
}

std::optional<QString> QueryString::strictValue(QByteArrayView key) const
{
    for (const QByteArray &pair : m_raw.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArrayView name = equals < 0 ? QByteArrayView(pair) : QByteArrayView(pair).first(equals);
        if (name == key)
            return percentDecode(equals < 0 ? QByteArrayView() : QByteArrayView(pair).sliced(equals + 1));
    }
    return QString();
}

QString QueryString::value(QByteArrayView key) const
{
    return strictValue(key).value_or(QString());
}

bool QueryString::contains(QByteArrayView key) const
{
    for (const QByteArray &pair : m_raw.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if ((equals < 0 ? QByteArrayView(pair) : QByteArrayView(pair).first(equals)) == key)
            return true;
    }
    return false;
}

std::optional<QString> QueryString::valueUpTo(QByteArrayView key, QByteArrayView next, bool lastMarker) const
{
    const qsizetype start = valueStart(key);
    if (start < 0)
        return std::nullopt;
    const QByteArray marker = '&' + next.toByteArray() + '=';
    const qsizetype end = lastMarker ? m_raw.lastIndexOf(marker) : m_raw.indexOf(marker, start);
    if (end < start)
        return std::nullopt;
    return percentDecode(QByteArrayView(m_raw).sliced(start, end - start));
}
