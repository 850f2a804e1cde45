#pragma once
#include <string_view>

namespace appserver {

// True when text is well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool isValidUtf8(std::string_view text);

} // namespace appserver
