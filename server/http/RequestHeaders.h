#pragma once
// What a request tells about the form its answer may take: whether its peer
// reads gzip, and whether the peer is on this machine.

#include <string_view>

struct sockaddr;

namespace appserver {

// Whether an Accept-Encoding header admits gzip ("gzip;q=0" refuses it).
bool acceptsGzip(std::string_view acceptEncoding);
bool isLoopback(const sockaddr *peer);

} // namespace appserver
