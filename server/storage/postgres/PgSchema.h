#pragma once
// The four tables on PostgreSQL, made once by the database's owner
// (solvane-server --init); the server itself runs as a role that may only
// read and change their rows.

#include <string>

typedef struct pg_conn PGconn;

namespace appserver {

// Creates what is missing: pg_trgm, the tables, the unique keys, the indexes,
// the change counters (pg_change_counters.h), the journal, the log of notices
// added (PgPanel.h) and the triggers that copy changed rows (PgRowLog.h), then
// readies the tables for queries (below). With a role, grants it SELECT,
// INSERT, UPDATE and DELETE on the tables, SELECT on the counters and the log,
// SELECT, INSERT and DELETE on the journal and nothing more. Throws
// std::runtime_error.
void createPostgresSchema(const std::string &conninfo, const std::string &serverRole);

// The same, without the statistics, on a connection whose transaction the
// caller holds.
void createPostgresSchemaOn(PGconn *conn, const std::string &serverRole);

// Empties the trigram indexes' pending lists and gathers the planner's
// statistics: a department just copied in would otherwise be searched through
// a pending list of every row, which the planner rightly avoids for
// sequential scans. A plain ANALYZE leaves the lists as they are.
void readyPostgresForQueries(PGconn *conn);

// Throws std::runtime_error, naming --init, when the tables cannot be read;
// says so on stderr when the change counters cannot. Creates the journal of
// changes and the log of notices added where they are missing and the role
// may; true when the journal is there.
bool checkPostgresSchema(const std::string &conninfo);

} // namespace appserver
