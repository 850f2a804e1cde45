#include "storage/postgres/PgConnection.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace appserver {

bool isPostgresConnection(const std::string &db) {
    if (db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0)
        return true;
    // "host=... dbname=...": a keyword, then "=". A file name rarely starts so.
    size_t i = 0;
    while (i < db.size() && (std::islower(static_cast<unsigned char>(db[i])) || db[i] == '_'))
        ++i;
    return i > 0 && i < db.size() && db[i] == '=';
}

// Literals keep their backslashes and the tables are the public schema's,
// whatever the role's own defaults say. No JIT: the server's statements are
// short, and compiling one costs far more than it saves (a second and more
// for the notice panel's added rows, whose estimate is high).
const char *const kSessionSetup = "SET client_encoding = 'UTF8'; "
                                  "SET standard_conforming_strings = on; "
                                  "SET search_path = public; "
                                  "SET jit = off";

namespace {

// A database that accepts connections but never answers (a frozen host)
// would otherwise keep libpq waiting for good.
bool namesConnectTimeout(const std::string &conninfo) {
    if (std::getenv("PGCONNECT_TIMEOUT"))
        return true;
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.c_str(), &error);
    PQfreemem(error);
    bool named = false;
    for (PQconninfoOption *option = options; option && option->keyword; ++option)
        if (std::string(option->keyword) == "connect_timeout" && option->val && *option->val)
            named = true;
    PQconninfoFree(options);
    return named;
}

// The keywords and values for PQconnect*Params: the string itself is
// expanded, after the default time-out, so its own settings win.
struct ConnectParams {
    explicit ConnectParams(const std::string &conninfo)
        : timeout(std::to_string(kConnectTimeoutSeconds)) {
        size_t n = 0;
        if (!namesConnectTimeout(conninfo)) {
            keywords[n] = "connect_timeout";
            values[n++] = timeout.c_str();
        }
        keywords[n] = "dbname";
        values[n++] = conninfo.c_str();
    }
    std::string timeout;
    const char *keywords[3] = {};
    const char *values[3] = {};
};

} // namespace

PgConnPtr connectPostgres(const std::string &conninfo) {
    const ConnectParams params(conninfo);
    PgConnPtr conn(PQconnectdbParams(params.keywords, params.values, 1));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string why = conn ? PQerrorMessage(conn.get()) : "out of memory";
        if (why.find("timeout expired") != std::string::npos)
            throw std::runtime_error("cannot connect to PostgreSQL: the database did not answer "
                                     "within its connect_timeout (" +
                                     std::to_string(kConnectTimeoutSeconds) +
                                     " s unless the connection string sets one): " + why);
        throw std::runtime_error("cannot connect to PostgreSQL: " + why);
    }
    execOrThrow(conn.get(), kSessionSetup, "cannot configure the PostgreSQL session");
    return conn;
}

PgConnPtr startConnecting(const std::string &conninfo) {
    const ConnectParams params(conninfo);
    return PgConnPtr(PQconnectStartParams(params.keywords, params.values, 1));
}

PgResultPtr execOrThrow(PGconn *conn, const std::string &sql, const std::string &what) {
    PgResultPtr result(PQexec(conn, sql.c_str()));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(what + ": " + PQerrorMessage(conn));
    return result;
}

std::string errorField(const PGresult *result, int field) {
    const char *text = result ? PQresultErrorField(result, field) : nullptr;
    return text ? text : "";
}

std::string describeConnection(PGconn *conn) {
    return std::string("database ") + PQdb(conn) + " as " + PQuser(conn);
}

} // namespace appserver
