#pragma once

// Who a client is. An IPv6 host is given a /64 of its own and may use any address in it,
// so the /64 is the client; an IPv4 address (also one seen on a dual-stack socket) is
// one client. Behind a load balancer the peer is the balancer: only a proxy named as
// trusted may say, in X-Forwarded-For or Forwarded, whom it forwards for.

#include <QString>
#include <QStringList>
#include <boost/asio/ip/address.hpp>
#include <string_view>
#include <vector>

// "192.0.2.1", "2001:db8:1:2::/64"; text that is no address stays as it is.
QString clientKeyOf(const QString &address);

class TrustedProxies final
{
public:
    // Addresses or networks ("10.0.0.5", "10.0.0.0/8", "fd00::/8"); false with the
    // offending item in *error.
    bool parse(const QStringList &items, QString *error);
    bool isEmpty() const { return m_networks.empty(); }
    bool contains(const boost::asio::ip::address &address) const;

    // The client's address for a connection from peer. Only when the peer is trusted are
    // the forwarding headers read (Forwarded when present, else X-Forwarded-For): from
    // the nearest hop outwards, trusted proxies are skipped and the first other address
    // is the client. A hop that is no address ends the walk at the proxy that sent it.
    QString clientAddress(const boost::asio::ip::address &peer, std::string_view forwarded,
                          std::string_view xForwardedFor) const;

private:
    struct Network
    {
        boost::asio::ip::address_v6 base; // IPv4 as v4-mapped
        int prefix = 128;
    };
    std::vector<Network> m_networks;
};
