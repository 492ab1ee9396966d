#include "http/ClientAddress.h"

#include <QByteArray>
#include <algorithm>
#include <optional>

namespace asio = boost::asio;

namespace {

asio::ip::address_v6 asV6(const asio::ip::address &address)
{
    return address.is_v4() ? asio::ip::make_address_v6(asio::ip::v4_mapped, address.to_v4()) : address.to_v6();
}

asio::ip::address unmapped(const asio::ip::address &address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

bool samePrefix(const asio::ip::address_v6 &a, const asio::ip::address_v6 &b, int prefix)
{
    const auto x = a.to_bytes();
    const auto y = b.to_bytes();
    for (int bit = 0; bit < prefix; bit += 8) {
        const int bits = std::min(8, prefix - bit);
        const unsigned mask = (0xffu << (8 - bits)) & 0xffu;
        if ((x[bit / 8] & mask) != (y[bit / 8] & mask))
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// One hop's address: "192.0.2.1", "192.0.2.1:4711", "[2001:db8::1]:4711", "2001:db8::1".
std::optional<asio::ip::address> hopAddress(std::string_view text)
{
    text = trimmed(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        text = text.substr(1, close - 1);
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        text = text.substr(0, text.find(':'));
    }
    boost::system::error_code ec;
    const auto address = asio::ip::make_address(std::string(text), ec);
    if (ec)
        return std::nullopt;
    return unmapped(address);
}

// The hops of either header, farthest first.
std::vector<std::string_view> hops(std::string_view forwarded, std::string_view xForwardedFor)
{
    std::vector<std::string_view> out;
    const auto split = [](std::string_view s, char separator, auto each) {
        while (true) {
            const std::size_t at = s.find(separator);
            each(s.substr(0, at));
            if (at == std::string_view::npos)
                break;
            s.remove_prefix(at + 1);
        }
    };
    if (!forwarded.empty()) {
        // Forwarded: for=192.0.2.60;proto=http;by=203.0.113.43, for="[2001:db8::1]"
        split(forwarded, ',', [&](std::string_view element) {
            std::string_view found = "unknown";
            split(element, ';', [&](std::string_view pair) {
                pair = trimmed(pair);
                if (pair.size() > 4 && QByteArray(pair.data(), 4).toLower() == "for=")
                    found = pair.substr(4);
            });
            out.push_back(found);
        });
    } else {
        split(xForwardedFor, ',', [&](std::string_view hop) { out.push_back(hop); });
    }
    return out;
}

} // namespace

QString clientKeyOf(const QString &client)
{
    boost::system::error_code ec;
    const auto parsed = asio::ip::make_address(client.toStdString(), ec);
    if (ec)
        return client;
    const auto address = unmapped(parsed);
    if (address.is_v4())
        return QString::fromStdString(address.to_string());
    auto bytes = address.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return QString::fromStdString(asio::ip::address_v6(bytes).to_string()) + QLatin1String("/64");
}

bool TrustedProxies::parse(const QStringList &items, QString *error)
{
    m_networks.clear();
    for (const QString &item : items) {
        const QString text = item.trimmed();
        if (text.isEmpty())
            continue;
        const qsizetype slash = text.indexOf(QLatin1Char('/'));
        boost::system::error_code ec;
        const auto address = asio::ip::make_address(text.left(slash).toStdString(), ec);
        bool ok = !ec;
        int prefix = address.is_v4() ? 32 : 128;
        if (ok && slash >= 0)
            prefix = text.mid(slash + 1).toInt(&ok);
        if (!ok || prefix < 0 || prefix > (address.is_v4() ? 32 : 128)) {
            *error = text;
            return false;
        }
        m_networks.push_back({asV6(address), address.is_v4() ? prefix + 96 : prefix});
    }
    return true;
}

bool TrustedProxies::contains(const asio::ip::address &address) const
{
    const auto v6 = asV6(unmapped(address));
    return std::any_of(m_networks.begin(), m_networks.end(),
                       [&](const Network &n) { return samePrefix(v6, n.base, n.prefix); });
}

QString TrustedProxies::clientAddress(const asio::ip::address &peer, std::string_view forwarded,
                                      std::string_view xForwardedFor) const
{
    asio::ip::address client = unmapped(peer);
    if (!contains(client) || (forwarded.empty() && xForwardedFor.empty()))
        return QString::fromStdString(client.to_string());
    const std::vector<std::string_view> chain = hops(forwarded, xForwardedFor);
    for (auto hop = chain.rbegin(); hop != chain.rend(); ++hop) {
        const auto address = hopAddress(*hop);
        if (!address)
            break;
        client = *address;
        if (!contains(client))
            break;
    }
    return QString::fromStdString(client.to_string());
}
