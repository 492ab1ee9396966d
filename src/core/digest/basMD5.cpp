#include "digest/basMD5.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr std::uint32_t rotateLeft(std::uint32_t x, unsigned n)
{
    return (x << n) | (x >> (32 - n));
}

std::uint32_t loadLittleEndian(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void storeLittleEndian(std::uint32_t value, std::uint8_t *p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

Md5::Md5()
{
    reset();
}

void Md5::reset()
{
    m_state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    m_length = 0;
    m_buffered = 0;
}

void Md5::transform(const std::uint8_t *block)
{
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = loadLittleEndian(block + 4 * i);

    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (unsigned step = 0; step < 64; ++step) {
        const unsigned round = step / 16;
        std::uint32_t f;
        unsigned word;
        switch (round) {
        case 0:
            f = (b & c) | (~b & d);
            word = step;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            word = (5 * step + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            word = (3 * step + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            word = (7 * step) % 16;
            break;
        }
        const std::uint32_t rotated = b + rotateLeft(a + f + x[word] + kSine[step], kShift[round][step % 4]);
        a = d;
        d = c;
        c = b;
        b = rotated;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void Md5::update(const void *data, std::size_t size)
{
    auto bytes = static_cast<const std::uint8_t *>(data);
    m_length += size;
    if (m_buffered > 0) {
        const std::size_t take = std::min(size, m_buffer.size() - m_buffered);
        std::memcpy(m_buffer.data() + m_buffered, bytes, take);
        m_buffered += take;
        bytes += take;
        size -= take;
        if (m_buffered < m_buffer.size())
            return;
        transform(m_buffer.data());
        m_buffered = 0;
    }
    for (; size >= 64; size -= 64, bytes += 64)
        transform(bytes);
    if (size > 0) {
        std::memcpy(m_buffer.data(), bytes, size);
        m_buffered = size;
    }
}

Md5::Digest Md5::finish()
{
    const std::uint64_t bits = m_length * 8;
    std::uint8_t padding[72] = {0x80};
    // One 1 bit, then zeros up to 56 bytes modulo 64, then the bit count.
    const std::size_t padLength = m_buffered < 56 ? 56 - m_buffered : 120 - m_buffered;
    std::uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i)
        lengthBytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    update(padding, padLength);
    update(lengthBytes, sizeof lengthBytes);

    Digest digest;
    for (int i = 0; i < 4; ++i)
        storeLittleEndian(m_state[i], digest.data() + 4 * i);
    reset();
    return digest;
}

QString Md5::toHex(const Digest &digest)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString hex;
    hex.reserve(32);
    for (const std::uint8_t byte : digest) {
        hex += QLatin1Char(kDigits[byte >> 4]);
        hex += QLatin1Char(kDigits[byte & 0x0f]);
    }
    return hex;
}

QString basMD5(const QByteArray &bytes)
{
    Md5 md5;
    md5.update(bytes);
    return Md5::toHex(md5.finish());
}

QString basMD5(const QString &text)
{
    return basMD5(text.toUtf8());
}

QString basMD5(const char *text)
{
    return basMD5(QByteArray(text));
}
