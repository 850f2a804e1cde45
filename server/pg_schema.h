#pragma once
// The four tables on PostgreSQL, made once by the database's owner
// (solvane-server --init); the server itself runs as a role that may only
// read and change their rows.

#include <string>

typedef struct pg_conn PGconn;

namespace appserver {

// Creates what is missing: pg_trgm, the tables, the unique keys and the
// indexes. With a role, grants it SELECT, INSERT, UPDATE and DELETE on the
// tables and nothing more. Throws std::runtime_error.
void createPostgresSchema(const std::string &conninfo, const std::string &serverRole);

// The same on a connection whose transaction the caller holds.
void createPostgresSchemaOn(PGconn *conn, const std::string &serverRole);

// Throws std::runtime_error, naming --init, when the tables cannot be read.
void checkPostgresSchema(const std::string &conninfo);

} // namespace appserver
