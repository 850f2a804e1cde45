#pragma once
// SQL's = and LIKE on text, as the database evaluates them, for telling in
// memory whether a changed row belongs to a list.

#include "storage/Storage.h"

#include <optional>
#include <string_view>

namespace appserver {

// value LIKE pattern: % any run of characters, _ one character, the rest
// itself (letter case of A-Z ignored when rules say so). Nothing when either
// is not UTF-8, which the database may read otherwise.
std::optional<bool> textLike(std::string_view value, std::string_view pattern,
                             const TextRules &rules);

} // namespace appserver
