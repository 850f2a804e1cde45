#pragma once
// HTTP entity tags of OpenSQL answers: one names an answer, and a request
// that sends it back in If-None-Match while it still names the answer gets
// 304 without a body.

#include <string>
#include <string_view>
#include <vector>

namespace appserver {

// A strong tag, quoted, for the answer known by key (statement and data version).
std::string entityTag(std::string_view key);

// Whether the items of an If-None-Match header name tag ("*" names every answer).
bool noneMatchNames(const std::vector<std::string> &ifNoneMatch, std::string_view tag);

} // namespace appserver
