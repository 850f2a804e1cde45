#pragma once
// Writes JSON text straight into a string: the query answers are large and
// their shape is fixed, so no document tree is built for them.

#include "storage.h"

#include <string>
#include <string_view>

namespace appserver {

// Appends value as a JSON string literal; invalid UTF-8 becomes U+FFFD.
void appendJsonString(std::string &out, std::string_view value);

// {"columns":[...],"rows":[[...],...]}
std::string rowsAnswer(const StatementResult &result);

} // namespace appserver
