#pragma once
// Brings a database made by an earlier version of the server to the schema of
// this one. Runs at start, on the server's own trusted connection.

struct sqlite3;

namespace appserver {

// Throws std::runtime_error when the database cannot be brought up to date.
void upgradeSchema(sqlite3 *db);

} // namespace appserver
