#include "like_substring.h"

#include "utf8.h"

#include <algorithm>
#include <cstring>

namespace appserver {
namespace {

constexpr size_t kFoldedTextBytes = 512; // longer texts go to SQLite's matcher

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool contains(std::string_view text, std::string_view needle) {
    return memmem(text.data(), text.size(), needle.data(), needle.size()) != nullptr;
}

} // namespace

std::optional<bool> likeAsSubstring(std::string_view pattern, std::string_view text) {
    if (pattern.size() < 2 || pattern.front() != '%' || pattern.back() != '%')
        return std::nullopt;
    const std::string_view needle = pattern.substr(1, pattern.size() - 2);
    if (needle.find_first_of("%_") != std::string_view::npos || !isValidUtf8(needle) ||
        !isValidUtf8(text))
        return std::nullopt;
    if (std::none_of(needle.begin(), needle.end(), isAsciiLetter))
        return contains(text, needle);
    if (text.size() > kFoldedTextBytes || needle.size() > kFoldedTextBytes)
        return std::nullopt;
    char foldedText[kFoldedTextBytes], foldedNeedle[kFoldedTextBytes];
    std::transform(text.begin(), text.end(), foldedText, folded);
    std::transform(needle.begin(), needle.end(), foldedNeedle, folded);
    return contains({foldedText, text.size()}, {foldedNeedle, needle.size()});
}

} // namespace appserver
