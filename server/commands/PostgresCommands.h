#pragma once
// The command-line runs that concern PostgreSQL: --init and --copy-to, and
// refusing what works on a SQLite file only.

#include <optional>

namespace appserver {

struct Options;

// The exit status of a PostgreSQL command, or nullopt when none was asked for.
std::optional<int> runPostgresCommands(const Options &options);

} // namespace appserver
