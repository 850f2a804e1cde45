#pragma once
#include <cstddef>
#include <string_view>

namespace appserver {

// True when text is well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool isValidUtf8(std::string_view text);

// Length of the well-formed multi-byte sequence starting at text[at], or 0.
size_t utf8SequenceLength(std::string_view text, size_t at);

} // namespace appserver
