#include "requests/EntityTags.h"

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

} // namespace

std::string entityTag(std::string_view key) {
    char text[20];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(fnv1a(key)));
    return text;
}

bool noneMatchNames(const std::vector<std::string> &ifNoneMatch, std::string_view tag) {
    for (std::string_view item : ifNoneMatch) {
        if (item.substr(0, 2) == "W/") // If-None-Match compares weakly
            item.remove_prefix(2);
        if (item == "*" || item == tag)
            return true;
    }
    return false;
}

} // namespace appserver
