#pragma once
// How long each stored value may be, column by column: well above what a
// member types, low enough that no member's bulk slows or breaks everyone's
// lists. Names are short, texts members write longer, flow nodes longest
// (they only grow).

#include "protocol/StatementShapes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace appserver {

// Any value of a statement whose columns have no limit of their own (queries).
constexpr size_t kMaxAnyValueBytes = 16 << 10;

// Why a value of a statement of this kind is too long, or nothing.
std::optional<std::string> oversizedValue(StatementShapes::Kind kind,
                                          const std::vector<std::string> &values);

} // namespace appserver
