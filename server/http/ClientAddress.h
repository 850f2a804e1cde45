#pragma once
// Who a request comes from. Usually the peer of its connection; when that
// peer is a reverse proxy the server was told to trust, the client the proxy
// names in X-Forwarded-For, so that the per-address limits and the log see
// each member's own address rather than the proxy's.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct sockaddr;

namespace appserver {

class ClientAddress {
public:
    ClientAddress() = default; // unknown
    static ClientAddress of(const sockaddr *peer);
    // A numeric IPv4 or IPv6 address, blanks around it ignored.
    static std::optional<ClientAddress> parse(std::string_view text);

    bool known() const { return known_; }
    bool loopback() const;
    // As a person writes it: IPv4 dotted, IPv6 in its short form; "?" unknown.
    std::string text() const;
    // Whom failed logins and waits are counted against: the address, or for
    // IPv6 its /64, which one subscriber usually has whole.
    std::string throttleKey() const;
    bool operator==(const ClientAddress &other) const {
        return known_ == other.known_ && bytes_ == other.bytes_;
    }

private:
    bool mappedV4() const;
    bool known_ = false;
    std::array<unsigned char, 16> bytes_{}; // IPv4 as ::ffff:a.b.c.d
};

class TrustedProxies {
public:
    TrustedProxies() = default; // trusts nobody
    // "ADDR,ADDR,…"; nullopt when one is not a numeric address.
    static std::optional<TrustedProxies> parse(std::string_view list);

    bool empty() const { return proxies_.empty(); }
    // Each proxy's address as text() writes it.
    std::unordered_set<std::string> texts() const;
    bool trusts(const ClientAddress &address) const;
    // The client of a connection from peer: the peer itself, unless it is
    // trusted; then the rightmost address of forwardedFor (each proxy adds
    // the one it was reached from) that is not a trusted proxy. An entry that
    // is not an address stops the walk at the last trusted hop.
    ClientAddress client(const ClientAddress &peer, std::string_view forwardedFor) const;

private:
    std::vector<ClientAddress> proxies_;
};

} // namespace appserver
