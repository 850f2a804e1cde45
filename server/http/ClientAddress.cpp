#include "http/ClientAddress.h"

#include "http/HeaderLists.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace appserver {
namespace {

constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

} // namespace

ClientAddress ClientAddress::of(const sockaddr *peer) {
    ClientAddress address;
    if (!peer)
        return address;
    if (peer->sa_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(peer);
        std::memcpy(address.bytes_.data(), kMappedPrefix, 12);
        std::memcpy(address.bytes_.data() + 12, &v4->sin_addr, 4);
        address.known_ = true;
    } else if (peer->sa_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(peer);
        std::memcpy(address.bytes_.data(), &v6->sin6_addr, 16);
        address.known_ = true;
    }
    return address;
}

std::optional<ClientAddress> ClientAddress::parse(std::string_view text) {
    const std::string bare(withoutBlanks(text));
    ClientAddress address;
    in_addr v4{};
    if (inet_pton(AF_INET, bare.c_str(), &v4) == 1) {
        std::memcpy(address.bytes_.data(), kMappedPrefix, 12);
        std::memcpy(address.bytes_.data() + 12, &v4, 4);
    } else if (inet_pton(AF_INET6, bare.c_str(), address.bytes_.data()) != 1) {
        return std::nullopt;
    }
    address.known_ = true;
    return address;
}

bool ClientAddress::mappedV4() const {
    return std::memcmp(bytes_.data(), kMappedPrefix, 12) == 0;
}

bool ClientAddress::loopback() const {
    if (!known_)
        return false;
    if (mappedV4())
        return bytes_[12] == 127;
    static const std::array<unsigned char, 16> kLoopback6 = {0, 0, 0, 0, 0, 0, 0, 0,
                                                             0, 0, 0, 0, 0, 0, 0, 1};
    return bytes_ == kLoopback6;
}

std::string ClientAddress::text() const {
    if (!known_)
        return "?";
    char host[INET6_ADDRSTRLEN] = "?";
    if (mappedV4())
        inet_ntop(AF_INET, bytes_.data() + 12, host, sizeof host);
    else
        inet_ntop(AF_INET6, bytes_.data(), host, sizeof host);
    return host;
}

std::string ClientAddress::throttleKey() const {
    if (!known_ || mappedV4())
        return text();
    ClientAddress network = *this;
    std::fill(network.bytes_.begin() + 8, network.bytes_.end(), 0);
    return network.text() + "/64";
}

std::optional<TrustedProxies> TrustedProxies::parse(std::string_view list) {
    TrustedProxies trusted;
    for (std::string_view item : headerListItems(list)) {
        auto address = ClientAddress::parse(item);
        if (!address)
            return std::nullopt;
        trusted.proxies_.push_back(*address);
    }
    return trusted;
}

std::unordered_set<std::string> TrustedProxies::texts() const {
    std::unordered_set<std::string> texts;
    for (const ClientAddress &proxy : proxies_)
        texts.insert(proxy.text());
    return texts;
}

bool TrustedProxies::trusts(const ClientAddress &address) const {
    return std::find(proxies_.begin(), proxies_.end(), address) != proxies_.end();
}

ClientAddress TrustedProxies::client(const ClientAddress &peer,
                                     std::string_view forwardedFor) const {
    ClientAddress hop = peer;
    while (trusts(hop)) {
        const size_t comma = forwardedFor.rfind(',');
        const std::string_view last =
            comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1);
        const auto named = ClientAddress::parse(last);
        if (!named)
            break;
        hop = *named;
        forwardedFor =
            comma == std::string_view::npos ? std::string_view() : forwardedFor.substr(0, comma);
    }
    return hop;
}

} // namespace appserver
