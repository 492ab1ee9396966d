#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>

// MD5 message digest (RFC 1321). The directory server's ask service is keyed by the
// digest of a stream URL, so the result must match every other MD5 byte for byte.
class Md5 final
{
public:
    using Digest = std::array<std::uint8_t, 16>;

    Md5();
    void update(const void *data, std::size_t size);
    void update(const QByteArray &bytes) { update(bytes.constData(), static_cast<std::size_t>(bytes.size())); }
    // Pads, appends the length and returns the digest. The object is then reset, ready
    // for a new message.
    Digest finish();

    static QString toHex(const Digest &digest); // 32 upper-case hexadecimal digits

private:
    void reset();
    void transform(const std::uint8_t *block);

    std::array<std::uint32_t, 4> m_state {};
    std::uint64_t m_length = 0; // bytes so far; the bit count is taken modulo 2^64
    std::array<std::uint8_t, 64> m_buffer {};
    std::size_t m_buffered = 0;
};

// The digest of text as 32 upper-case hexadecimal digits; text is taken as UTF-8.
// There is no length limit.
QString basMD5(const QString &text);
QString basMD5(const QByteArray &bytes);
QString basMD5(const char *text); // UTF-8; settles the choice between the two above
