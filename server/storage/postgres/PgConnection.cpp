#include "PgConnection.h"

#include <cctype>
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

PgConnPtr connectPostgres(const std::string &conninfo) {
    PgConnPtr conn(PQconnectdb(conninfo.c_str()));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error("cannot connect to PostgreSQL: " +
                                 std::string(conn ? PQerrorMessage(conn.get()) : "out of memory"));
    // Literals keep their backslashes and the tables are the public schema's,
    // whatever the role's own defaults say.
    execOrThrow(conn.get(),
                "SET client_encoding = 'UTF8'; SET standard_conforming_strings = on; "
                "SET search_path = public",
                "cannot configure the PostgreSQL session");
    return conn;
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
