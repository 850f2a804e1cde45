#pragma once
// A later answer to the same statement told as a change of an earlier one:
// the rows the two share at the front and at the back are kept, and only the
// rows between them are sent. A member refreshing the notice panel after one
// new notice receives one row instead of thousands.

#include "answers/AnswerCache.h"

#include <optional>
#include <string>
#include <vector>

namespace appserver {

struct RowDelta {
    size_t front = 0; // rows kept from the start of the earlier answer
    size_t back = 0;  // rows kept from its end
    size_t rows = 0;  // rows in body
    std::string body; // an answer of the usual shape holding the rows between
};

// Nothing when the columns differ, or when the rows that differ make up most
// of the later answer, so that sending it whole costs about the same.
std::optional<RowDelta> rowDelta(const CachedAnswer &earlier, const CachedAnswer &later);

// The same, when the earlier answer is no longer at hand but is known to be
// later without the rows at added (rising).
std::optional<RowDelta> rowDeltaOfAdded(const CachedAnswer &later, const std::vector<size_t> &added);

} // namespace appserver
