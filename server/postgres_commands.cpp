#include "postgres_commands.h"

#include "options.h"
#include "pg_connection.h"
#include "pg_schema.h"

#include <cstdio>
#include <exception>

namespace appserver {
namespace {

int report(const char *what, const std::exception &error) {
    std::fprintf(stderr, "solvane-server: %s: %s\n", what, error.what());
    return 1;
}

} // namespace

std::optional<int> runPostgresCommands(const Options &options) {
    const bool postgres = isPostgresConnection(options.db);
    if (!postgres && (options.init || !options.grantTo.empty())) {
        std::fprintf(stderr, "solvane-server: --init and --grant-to need a PostgreSQL --db\n");
        return 2;
    }
    if (postgres && (options.check || !options.backupTo.empty() || options.demo ||
                     !options.addMember.empty() || !options.copyTo.empty())) {
        std::fprintf(stderr, "solvane-server: --check, --backup, --demo, --add-member and "
                             "--copy-to work on a SQLite file; on PostgreSQL use its own tools "
                             "(pg_dump, psql)\n");
        return 2;
    }
    if (options.init) {
        try {
            createPostgresSchema(options.db, options.grantTo);
        } catch (const std::exception &e) {
            return report("--init failed", e);
        }
        std::printf("created the tables%s%s\n", options.grantTo.empty() ? "" : " for ",
                    options.grantTo.c_str());
        return 0;
    }
    return std::nullopt;
}

} // namespace appserver
