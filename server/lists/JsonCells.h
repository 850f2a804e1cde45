#pragma once
// Reads back the cells of an answer's row, or its column names, from the
// JSON text the answer writer made of them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

using JsonCell = std::optional<std::string>; // null is nullopt

// The first count cells of array, a JSON array of strings and nulls as
// appendJsonRow() writes it ([...]), decoded; nothing when it is not one or
// holds fewer.
std::optional<std::vector<JsonCell>> jsonCells(std::string_view array, size_t count);

// The column names an answer's head ({"columns":[...],"rows":[) names.
std::optional<std::vector<std::string>> jsonColumns(std::string_view head);

} // namespace appserver
