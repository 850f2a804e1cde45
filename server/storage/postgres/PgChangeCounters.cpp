#include "storage/postgres/PgChangeCounters.h"

#include "statements/ClientTables.h"
#include "storage/postgres/PgConnection.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace appserver {
namespace {

constexpr size_t kTables = std::size(kClientTables);
constexpr const char *kReadCounters = "solvane_read_changes";
constexpr auto kRetryAfterFailure = std::chrono::seconds(30);

// The row named '' of solvane_changes holds a random number drawn by --init,
// so two databases (one dropped and made again, another department's) never
// give the same version for different rows; a copy restored from a dump keeps
// the number, so versions name the database's oid as well.
//
// The counters themselves are rows of solvane_change_slots, one per table and
// writing connection (its process id, folded into 1024 slots): a change moves
// only its own connection's row, so changes made at once through several
// servers never update the same row, which a REPEATABLE READ change would
// have to give up. A table's version is the sum of its rows, which every
// commit that changed it moves. others counts the changes that did more than
// insert rows.
//
// The function runs as the owner, with a fixed search path, so the server's
// role needs no right to change the counters, and nobody's search path can
// lend it another table.
constexpr const char *kCountersSql = R"SQL(
CREATE TABLE IF NOT EXISTS solvane_changes(table_name text COLLATE "C" PRIMARY KEY,
    counter bigint NOT NULL);
CREATE TABLE IF NOT EXISTS solvane_change_slots(table_name text COLLATE "C" NOT NULL,
    slot integer NOT NULL, counter bigint NOT NULL, others bigint NOT NULL,
    PRIMARY KEY (table_name, slot));
-- An earlier --init kept one counter row per table here: those give way to the
-- slots, and the number is drawn again, so that no version they gave names
-- other rows now.
WITH earlier AS (DELETE FROM solvane_changes WHERE table_name <> '' RETURNING 1)
    DELETE FROM solvane_changes WHERE table_name = '' AND EXISTS (SELECT FROM earlier);
INSERT INTO solvane_changes VALUES
    ('', ('x' || substr(md5(gen_random_uuid()::text), 1, 15))::bit(60)::bigint)
    ON CONFLICT DO NOTHING;
CREATE OR REPLACE FUNCTION solvane_count_change() RETURNS trigger LANGUAGE plpgsql
    SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    INSERT INTO public.solvane_change_slots AS s
        VALUES (TG_TABLE_NAME::text, pg_backend_pid() % 1024, 1,
                CASE WHEN TG_OP = 'INSERT' THEN 0 ELSE 1 END)
        ON CONFLICT (table_name, slot)
        DO UPDATE SET counter = s.counter + 1, others = s.others + excluded.others;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION solvane_count_change() FROM PUBLIC;
)SQL";

// The counters of every table (and of the changes that did more than
// insert) and the database's number, as of the transaction's snapshot; a
// table never changed has no row. The slots fit a page or two, which a
// sequential scan reads at once.
constexpr const char *kCountersQuery =
    "SELECT table_name, sum(counter)::text, sum(others)::text FROM solvane_change_slots "
    "GROUP BY table_name UNION ALL SELECT '', counter::text, '' FROM solvane_changes "
    "WHERE table_name = ''";

} // namespace

std::string changeCountersSql() {
    std::string sql = kCountersSql;
    // Once per statement, not per row: a change of 10,000 rows moves it once.
    for (const char *table : kClientTables)
        sql += std::string("CREATE OR REPLACE TRIGGER solvane_changes AFTER INSERT OR UPDATE OR "
                           "DELETE OR TRUNCATE ON \"") +
               table + "\" FOR EACH STATEMENT EXECUTE FUNCTION solvane_count_change();\n";
    return sql;
}

std::string grantChangeCountersSql(const std::string &quotedRole) {
    return "GRANT SELECT ON solvane_changes, solvane_change_slots TO " + quotedRole;
}

void reportMissingChangeCounters(PGconn *conn) {
    PgResultPtr read(PQexec(conn, "SELECT 1 FROM solvane_changes, solvane_change_slots LIMIT 0"));
    if (PQresultStatus(read.get()) == PGRES_TUPLES_OK)
        return;
    std::fprintf(stderr,
                 "solvane-server: the change counters cannot be read in %s (%s), so no answer "
                 "is reused: run --init once more as the database's owner, with --grant-to this "
                 "server's role\n",
                 describeConnection(conn).c_str(),
                 errorField(read.get(), PG_DIAG_MESSAGE_PRIMARY).c_str());
}

std::optional<std::string> PgChangeCounters::versionOf(PGconn *conn, unsigned tables,
                                                       const PgCall &call) {
    const auto now = std::chrono::steady_clock::now();
    if (now < retryAfter_)
        return std::nullopt;
    auto unreadable = [&]() -> std::optional<std::string> {
        // A lost connection is opened again before the statement; a database
        // without the counters is asked again only later.
        if (PQstatus(conn) == CONNECTION_OK)
            retryAfter_ = now + kRetryAfterFailure;
        prepared_ = false;
        read_.reset();
        return std::nullopt;
    };
    if (!prepared_) {
        PgResultPtr made(call([](PGconn *c) {
            return PQsendPrepare(c, kReadCounters, kCountersQuery, 0, nullptr);
        }));
        if (PQresultStatus(made.get()) != PGRES_COMMAND_OK)
            return unreadable();
        PgResultPtr database(call([](PGconn *c) {
            return PQsendQuery(c, "SELECT oid FROM pg_database WHERE datname = current_database()");
        }));
        if (PQresultStatus(database.get()) != PGRES_TUPLES_OK || PQntuples(database.get()) != 1)
            return unreadable();
        database_ = PQgetvalue(database.get(), 0, 0);
        prepared_ = true;
    }
    if (!read_)
        read_ = call([](PGconn *c) {
            return PQsendQueryPrepared(c, kReadCounters, 0, nullptr, nullptr, nullptr, 0);
        });
    const PgResultPtr &read = read_;
    if (PQresultStatus(read.get()) != PGRES_TUPLES_OK || PQnfields(read.get()) != 3) {
        read_.reset();
        return unreadable();
    }

    const char *instance = nullptr;
    const char *counters[kTables] = {};
    for (int r = 0; r < PQntuples(read.get()); ++r) {
        const char *name = PQgetvalue(read.get(), r, 0);
        const char *counter = PQgetvalue(read.get(), r, 1);
        if (!*name)
            instance = counter;
        for (size_t t = 0; t < kTables; ++t)
            if (std::strcmp(name, kClientTables[t]) == 0)
                counters[t] = counter;
    }
    if (!instance)
        return std::nullopt;
    std::string version = "pg " + database_ + '.' + instance;
    for (size_t t = 0; t < kTables; ++t) {
        if (!(tables & (1u << t)))
            continue;
        version += ' ';
        version += kClientTables[t];
        version += ' ';
        version += counters[t] ? counters[t] : "0";
    }
    return version;
}

std::optional<std::string> PgChangeCounters::othersOf(const char *table) const {
    if (!read_ || PQresultStatus(read_.get()) != PGRES_TUPLES_OK || PQnfields(read_.get()) != 3)
        return std::nullopt;
    for (int r = 0; r < PQntuples(read_.get()); ++r)
        if (std::strcmp(PQgetvalue(read_.get(), r, 0), table) == 0)
            return std::string(PQgetvalue(read_.get(), r, 2));
    return std::string("0");
}

} // namespace appserver
