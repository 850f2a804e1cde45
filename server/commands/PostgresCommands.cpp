#include "commands/PostgresCommands.h"

#include "commands/Options.h"
#include "commands/PgCopy.h"
#include "statements/ClientTables.h"
#include "storage/postgres/PgConnection.h"
#include "storage/postgres/PgSchema.h"

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
    if (!postgres && options.init) {
        std::fprintf(stderr, "solvane-server: --init needs a PostgreSQL --db\n");
        return 2;
    }
    if (!options.grantTo.empty() && !options.init && options.copyTo.empty()) {
        std::fprintf(stderr, "solvane-server: --grant-to goes with --init or --copy-to\n");
        return 2;
    }
    if (!options.copyTo.empty() && !isPostgresConnection(options.copyTo)) {
        std::fprintf(stderr, "solvane-server: --copy-to takes a PostgreSQL connection string\n");
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
    if (!options.copyTo.empty()) {
        TableCounts counts;
        try {
            counts = copySqliteToPostgres(options.db, options.copyTo, options.grantTo);
        } catch (const std::exception &e) {
            return report("--copy-to failed", e);
        }
        for (size_t t = 0; t < counts.size(); ++t)
            std::printf("%s: %lld rows\n", kClientTables[t], counts[t]);
        return 0;
    }
    return std::nullopt;
}

} // namespace appserver
