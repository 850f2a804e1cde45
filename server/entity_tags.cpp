#include "entity_tags.h"

#include <cstdint>
#include <cstdio>

namespace appserver {
namespace {

// FNV-1a: a tag only has to tell versions of one statement's answer apart.
uint64_t fnv1a(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string entityTag(std::string_view key) {
    char text[20];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(fnv1a(key)));
    return text;
}

bool noneMatchNames(std::string_view ifNoneMatch, std::string_view tag) {
    while (!ifNoneMatch.empty()) {
        const size_t comma = ifNoneMatch.find(',');
        std::string_view item = trimmed(ifNoneMatch.substr(0, comma));
        ifNoneMatch =
            comma == std::string_view::npos ? std::string_view() : ifNoneMatch.substr(comma + 1);
        if (item.substr(0, 2) == "W/") // If-None-Match compares weakly
            item.remove_prefix(2);
        if (item == "*" || item == tag)
            return true;
    }
    return false;
}

} // namespace appserver
