#pragma once
// Whether an answer goes out gzip-compressed, and the compressing itself.
// On a slow link a large answer is sent faster compressed; on the machine
// itself compressing only costs time.

#include <string>
#include <string_view>

namespace appserver {

// Answers shorter than this go out as they are: their compression saves less
// than it costs.
inline constexpr size_t kCompressFromBytes = 16 << 10;

bool compressionPays(size_t bytes, bool peerAcceptsGzip, bool peerOnLoopback);

// The gzip form of text (RFC 1952), as HTTP's Content-Encoding: gzip takes it.
std::string gzipped(std::string_view text);

} // namespace appserver
