#include "http/RequestHeaders.h"

#include "http/HeaderLists.h"

#include <netinet/in.h>
#include <strings.h>

namespace appserver {
namespace {

// "q=0", "q=0.0", "q=0.000": the coding is refused.
bool refusedWeight(std::string_view parameters) {
    parameters = withoutBlanks(parameters);
    if (parameters.size() < 3 || (parameters[0] != 'q' && parameters[0] != 'Q') ||
        parameters[1] != '=')
        return false;
    for (char c : parameters.substr(2))
        if (c != '0' && c != '.')
            return false;
    return true;
}

} // namespace

bool acceptsGzip(std::string_view acceptEncoding) {
    for (std::string_view item : headerListItems(acceptEncoding)) {
        const size_t semicolon = item.find(';');
        const std::string_view coding = withoutBlanks(item.substr(0, semicolon));
        const bool named = coding.size() == 4 && strncasecmp(coding.data(), "gzip", 4) == 0;
        if (named)
            return semicolon == std::string_view::npos ||
                   !refusedWeight(item.substr(semicolon + 1));
    }
    return false;
}

bool isLoopback(const sockaddr *peer) {
    if (!peer)
        return false;
    if (peer->sa_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(peer);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (peer->sa_family == AF_INET6) {
        const in6_addr &address = reinterpret_cast<const sockaddr_in6 *>(peer)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&address))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&address) && address.s6_addr[12] == 127;
    }
    return peer->sa_family == AF_UNIX;
}

} // namespace appserver
