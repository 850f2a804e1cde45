#pragma once
// Moves a department from its SQLite file to PostgreSQL (--copy-to): every
// row, in one transaction on each side, into a database that holds none yet.

#include <array>
#include <string>

namespace appserver {

using TableCounts = std::array<long long, 4>; // in the order of kClientTables

// Creates the tables when missing (granting them to serverRole when given),
// refuses a target that holds any row, copies, and commits only when every
// table holds as many rows as the file and the unique keys hold. Throws
// std::runtime_error, having changed nothing, otherwise.
TableCounts copySqliteToPostgres(const std::string &sqlitePath, const std::string &conninfo,
                                 const std::string &serverRole);

} // namespace appserver
