#pragma once
// Owning handles for libpq's connection and result, and the few calls the
// server's own work (schema, checks, copies) makes on a trusted connection.

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <string>

namespace appserver {

struct PgConnClose {
    void operator()(PGconn *conn) const { PQfinish(conn); }
};
struct PgResultClear {
    void operator()(PGresult *result) const { PQclear(result); }
};
using PgConnPtr = std::unique_ptr<PGconn, PgConnClose>;
using PgResultPtr = std::unique_ptr<PGresult, PgResultClear>;

// True when --db names a PostgreSQL database (a postgresql:// or postgres://
// URI, or a "key=value ..." connection string) rather than a SQLite file.
bool isPostgresConnection(const std::string &db);

// Connects with the session's encoding and search path fixed; throws
// std::runtime_error with libpq's message when it cannot. A connection string
// without connect_timeout (nor PGCONNECT_TIMEOUT) waits kConnectTimeoutSeconds.
PgConnPtr connectPostgres(const std::string &conninfo);
constexpr int kConnectTimeoutSeconds = 5;

// Begins connecting without waiting (PQconnectPoll finishes it); the same
// defaults as connectPostgres(). Null only when libpq is out of memory.
PgConnPtr startConnecting(const std::string &conninfo);

// What connectPostgres() sets on a fresh session.
extern const char *const kSessionSetup;

// Sends one command with send and returns its result (the first error, or
// else the last), waiting no longer than the caller allows; throws
// DatabaseUnavailable when the database does not answer in time or is gone.
using PgCall = std::function<PgResultPtr(const std::function<int(PGconn *)> &send)>;

// Runs trusted SQL (possibly several statements); throws with what + the
// server's message when it fails. Returns the last result.
PgResultPtr execOrThrow(PGconn *conn, const std::string &sql, const std::string &what);

// A field of a result's error (PG_DIAG_...); empty when it has none.
std::string errorField(const PGresult *result, int field);

// A connection string with its password left out, for messages.
std::string describeConnection(PGconn *conn);

} // namespace appserver
