#pragma once
// Copies and checks of the database file, made while a server may be serving it.

#include <optional>
#include <string>
#include <vector>

namespace appserver {

struct Options;

// Copies the database at dbPath to target with SQLite's online backup. The copy
// is taken in one read transaction, so it is the database of one moment while
// writers go on. It is written beside target and renamed, so target is never
// half written, and it is a single file (no WAL). Throws std::runtime_error.
void backupDatabase(const std::string &dbPath, const std::string &target);

// SQLite's integrity check of the database at dbPath, read-only. Returns what
// is wrong, empty when nothing is; a file that cannot be read as a database
// is reported as such.
std::vector<std::string> checkDatabase(const std::string &dbPath);

// --check, then --backup, when asked for: the exit status, or nullopt when
// neither was asked for. A damaged database is not copied.
std::optional<int> runDatabaseCommands(const Options &options);

} // namespace appserver
