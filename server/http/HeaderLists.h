#pragma once
// The comma-separated lists of HTTP headers such as Accept-Encoding and
// If-None-Match.

#include <string_view>
#include <vector>

namespace appserver {

// Without the blanks (spaces and tabs) around it.
std::string_view withoutBlanks(std::string_view text);

// The items of a list, each without the blanks around it.
std::vector<std::string_view> headerListItems(std::string_view header);

// Whether an A-IM header names the instance manipulation name (any letter
// case; a q of 0 refuses it).
bool namesManipulation(std::string_view aim, std::string_view name);

} // namespace appserver
