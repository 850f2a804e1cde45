#pragma once
// The client's SQL is older than SQLite's grammar in one place: it deletes
// with "delete <table> Where ...", leaving out FROM. That one form is
// rewritten; every other statement passes unchanged.

#include <string>

namespace appserver {

std::string withDeleteFrom(const std::string &sql);

} // namespace appserver
