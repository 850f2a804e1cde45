#include "storage/postgres/PgSchema.h"

#include "storage/postgres/PgChangeCounters.h"
#include "storage/postgres/PgConnection.h"
#include "storage/postgres/PgPanel.h"
#include "storage/postgres/PgRowLog.h"

#include <cstdio>
#include <stdexcept>

namespace appserver {
namespace {

// Columns are text in the "C" collation, so that ordering and comparisons go
// by bytes, as on SQLite.
constexpr const char *kPostgresSchemaSql = R"SQL(
CREATE EXTENSION IF NOT EXISTS pg_trgm;
CREATE TABLE IF NOT EXISTS "Login"("UseName" text COLLATE "C", "PassWord" text COLLATE "C",
    "Remark" text COLLATE "C");
CREATE TABLE IF NOT EXISTS "Programe"("ProId" text COLLATE "C", "ProFrom" text COLLATE "C",
    "ProAim" text COLLATE "C", "ProContent" text COLLATE "C", "ProDemander" text COLLATE "C",
    "ProPerformer" text COLLATE "C", "ProCreateTime" text COLLATE "C",
    "ProCompleteTime" text COLLATE "C", "ProCompleteFlag" text COLLATE "C",
    "ProTask" text COLLATE "C", "ProList" text COLLATE "C");
CREATE TABLE IF NOT EXISTS "Task"("TaskId" text COLLATE "C", "TaskContent" text COLLATE "C",
    "TaskDemander" text COLLATE "C", "TaskPerformer" text COLLATE "C",
    "TaskCreateTime" text COLLATE "C", "TaskCompleteTime" text COLLATE "C",
    "TaskCompleteFlag" text COLLATE "C", "TaskList" text COLLATE "C",
    "TaskReadTime" text COLLATE "C", "TaskCCList" text COLLATE "C");
CREATE TABLE IF NOT EXISTS "Notice"("Content" text COLLATE "C", "Demander" text COLLATE "C",
    "Performer" text COLLATE "C", "CreateTime" text COLLATE "C");
-- A project number names one project; a login name one member, in any letter
-- case (the statements compare lower("UseName"), which this index serves).
CREATE UNIQUE INDEX IF NOT EXISTS "Programe_ProId" ON "Programe"("ProId");
CREATE UNIQUE INDEX IF NOT EXISTS "Login_UseName" ON "Login"(lower("UseName"));
-- The columns the client's lists filter and order by.
CREATE INDEX IF NOT EXISTS "Task_TaskId" ON "Task"("TaskId");
CREATE INDEX IF NOT EXISTS "Notice_CreateTime" ON "Notice"("CreateTime");
CREATE INDEX IF NOT EXISTS "Notice_Demander" ON "Notice"("Demander", "CreateTime");
CREATE INDEX IF NOT EXISTS "Programe_ProDemander" ON "Programe"("ProDemander");
CREATE INDEX IF NOT EXISTS "Programe_ProCreateTime" ON "Programe"("ProCreateTime");
CREATE INDEX IF NOT EXISTS "Programe_ProCompleteTime" ON "Programe"("ProCompleteTime");
CREATE INDEX IF NOT EXISTS "Task_TaskDemander" ON "Task"("TaskDemander");
CREATE INDEX IF NOT EXISTS "Task_TaskCompleteTime" ON "Task"("TaskCompleteTime");
-- "like '%name%'" on the performer and related-person lists. Without a
-- pending list: rows are read far more often than added, and every search
-- would read the whole list, for which the planner then passes the index over.
CREATE INDEX IF NOT EXISTS "Programe_ProPerformer_trgm" ON "Programe"
    USING gin ("ProPerformer" gin_trgm_ops) WITH (fastupdate = off);
CREATE INDEX IF NOT EXISTS "Task_TaskPerformer_trgm" ON "Task"
    USING gin ("TaskPerformer" gin_trgm_ops) WITH (fastupdate = off);
CREATE INDEX IF NOT EXISTS "Task_TaskCCList_trgm" ON "Task"
    USING gin ("TaskCCList" gin_trgm_ops) WITH (fastupdate = off);
ALTER INDEX "Programe_ProPerformer_trgm" SET (fastupdate = off);
ALTER INDEX "Task_TaskPerformer_trgm" SET (fastupdate = off);
ALTER INDEX "Task_TaskCCList_trgm" SET (fastupdate = off);
)SQL";

// The journal: each change the server made, by whom, when, and the columns it
// changed. Its names are unquoted, so the client's statements name it as on
// SQLite. The server's role inserts and, for the retention, deletes.
constexpr const char *kJournalSql = R"SQL(
CREATE TABLE IF NOT EXISTS solvane_journal(seq bigserial PRIMARY KEY,
    changedat text COLLATE "C", bylogin text COLLATE "C", byname text COLLATE "C",
    verb text COLLATE "C", rowtable text COLLATE "C", keyid text COLLATE "C",
    keycontent text COLLATE "C", keydemander text COLLATE "C", changes text COLLATE "C");
CREATE INDEX IF NOT EXISTS solvane_journal_keyid ON solvane_journal(keyid, keycontent,
    keydemander);
)SQL";

// What an earlier --init left in the pending lists goes into the indexes, and
// the planner learns the tables' sizes and values.
constexpr const char *kReadyForQueriesSql = R"SQL(
SELECT gin_clean_pending_list('"Programe_ProPerformer_trgm"'::regclass),
    gin_clean_pending_list('"Task_TaskPerformer_trgm"'::regclass),
    gin_clean_pending_list('"Task_TaskCCList_trgm"'::regclass);
ANALYZE "Login", "Programe", "Task", "Notice";
)SQL";

} // namespace

void createPostgresSchemaOn(PGconn *conn, const std::string &serverRole) {
    execOrThrow(conn, kPostgresSchemaSql,
                "cannot create the tables in " + describeConnection(conn));
    execOrThrow(conn, changeCountersSql(),
                "cannot create the change counters in " + describeConnection(conn));
    execOrThrow(conn, kJournalSql, "cannot create the journal in " + describeConnection(conn));
    execOrThrow(conn, addedNoticesSql(),
                "cannot create the log of notices added in " + describeConnection(conn));
    execOrThrow(conn, rowLogSql(),
                "cannot create the copying of changed rows in " + describeConnection(conn));
    if (serverRole.empty())
        return;
    char *role = PQescapeIdentifier(conn, serverRole.c_str(), serverRole.size());
    if (!role)
        throw std::runtime_error(PQerrorMessage(conn));
    const std::string quoted = role;
    PQfreemem(role);
    execOrThrow(conn,
                "GRANT SELECT, INSERT, UPDATE, DELETE ON \"Login\", \"Programe\", \"Task\", "
                "\"Notice\" TO " +
                    quoted,
                "cannot grant the tables to " + serverRole);
    execOrThrow(conn, grantChangeCountersSql(quoted),
                "cannot grant the change counters to " + serverRole);
    execOrThrow(conn, grantAddedNoticesSql(quoted),
                "cannot grant the log of notices added to " + serverRole);
    execOrThrow(conn,
                "GRANT SELECT, INSERT, DELETE ON solvane_journal TO " + quoted +
                    "; GRANT USAGE ON SEQUENCE solvane_journal_seq_seq TO " + quoted,
                "cannot grant the journal to " + serverRole);
}

void readyPostgresForQueries(PGconn *conn) {
    execOrThrow(conn, kReadyForQueriesSql,
                "cannot gather the tables' statistics in " + describeConnection(conn));
}

void createPostgresSchema(const std::string &conninfo, const std::string &serverRole) {
    PgConnPtr conn = connectPostgres(conninfo);
    execOrThrow(conn.get(), "BEGIN", "cannot create the tables");
    createPostgresSchemaOn(conn.get(), serverRole);
    readyPostgresForQueries(conn.get());
    execOrThrow(conn.get(), "COMMIT", "cannot create the tables");
}

bool postgresJournalReady(PGconn *conn) {
    PgResultPtr found(PQexec(conn, "SELECT to_regclass('solvane_journal') IS NOT NULL"));
    if (PQresultStatus(found.get()) == PGRES_TUPLES_OK && PQntuples(found.get()) == 1 &&
        std::string(PQgetvalue(found.get(), 0, 0)) == "t")
        return true;
    // A database of an earlier version gains it at once where this role may create it.
    PgResultPtr created(PQexec(conn, kJournalSql));
    if (PQresultStatus(created.get()) == PGRES_COMMAND_OK)
        return true;
    std::fprintf(stderr,
                 "solvane-server: %s has no journal and this role cannot create it (%s): "
                 "changes are not journalled until --init is run again as the tables' owner\n",
                 describeConnection(conn).c_str(),
                 errorField(created.get(), PG_DIAG_MESSAGE_PRIMARY).c_str());
    return false;
}

bool checkPostgresSchema(const std::string &conninfo) {
    PgConnPtr conn = connectPostgres(conninfo);
    PgResultPtr result(
        PQexec(conn.get(), "SELECT 1 FROM \"Login\", \"Programe\", \"Task\", \"Notice\" LIMIT 0"));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        throw std::runtime_error(
            "the tables cannot be read in " + describeConnection(conn.get()) + ": " +
            errorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) +
            " (create them once with --init, connected as the database's owner)");
    reportMissingChangeCounters(conn.get());
    prepareAddedNotices(conn.get());
    return postgresJournalReady(conn.get());
}

} // namespace appserver
