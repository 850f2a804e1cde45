#include "commands/PgCopy.h"

#include "statements/ClientTables.h"
#include "storage/postgres/PgConnection.h"
#include "storage/postgres/PgSchema.h"

#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>

namespace appserver {
namespace {

struct SqliteClose {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalize {
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};

long long countOn(PGconn *conn, const std::string &sql) {
    PgResultPtr result = execOrThrow(conn, sql, "cannot count the rows");
    return std::atoll(PQgetvalue(result.get(), 0, 0));
}

// COPY's text format: backslash, tab, newline and carriage return escaped,
// NULL as \N.
void appendCopyValue(std::string &line, const unsigned char *text, int bytes) {
    if (!text) {
        line += "\\N";
        return;
    }
    for (int i = 0; i < bytes; ++i) {
        const char c = char(text[i]);
        switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c;
        }
    }
}

// Streams the rows select reads into the COPY statement copy; what names the
// table in errors.
long long copyRows(sqlite3 *source, PGconn *target, const std::string &select,
                   const std::string &copy, const char *what) {
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(source, select.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("cannot read ") + what + ": " +
                                 sqlite3_errmsg(source));
    std::unique_ptr<sqlite3_stmt, SqliteFinalize> stmt(raw);
    if (PQresultStatus(PgResultPtr(PQexec(target, copy.c_str())).get()) != PGRES_COPY_IN)
        throw std::runtime_error(std::string("cannot copy into ") + what + ": " +
                                 PQerrorMessage(target));
    long long rows = 0;
    std::string line;
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        line.clear();
        for (int c = 0; c < sqlite3_column_count(stmt.get()); ++c) {
            if (c > 0)
                line += '\t';
            appendCopyValue(line, sqlite3_column_text(stmt.get(), c),
                            sqlite3_column_bytes(stmt.get(), c));
        }
        line += '\n';
        if (PQputCopyData(target, line.data(), int(line.size())) != 1)
            break;
        ++rows;
    }
    const bool read = rc == SQLITE_DONE;
    PQputCopyEnd(target, read ? nullptr : "the source could not be read to its end");
    PgResultPtr done(PQgetResult(target));
    while (PgResultPtr more{PQgetResult(target)}) {
    }
    if (!read)
        throw std::runtime_error(std::string("cannot read ") + what + ": " +
                                 sqlite3_errmsg(source));
    if (PQresultStatus(done.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error(std::string("cannot copy into ") + what + ": " +
                                 PQerrorMessage(target));
    return rows;
}

long long copyTable(sqlite3 *source, PGconn *target, const ClientTable &table) {
    std::string columns;
    for (const char *column : table.columns)
        if (column)
            columns += std::string(columns.empty() ? "" : ", ") + '"' + column + '"';
    return copyRows(source, target, std::string("SELECT * FROM ") + table.name + " ORDER BY rowid",
                    std::string("COPY \"") + table.name + "\"(" + columns + ") FROM STDIN",
                    table.name);
}

// The journal of changes, in its order, where the file has one.
void copyJournal(sqlite3 *source, PGconn *target) {
    sqlite3_stmt *probe = nullptr;
    const bool present = sqlite3_prepare_v2(source, "SELECT 1 FROM solvane_journal", -1, &probe,
                                            nullptr) == SQLITE_OK;
    sqlite3_finalize(probe);
    if (!present)
        return;
    const long long copied = copyRows(
        source, target,
        "SELECT ChangedAt, ByLogin, ByName, Verb, RowTable, KeyId, KeyContent, KeyDemander, "
        "Changes FROM solvane_journal ORDER BY Seq",
        "COPY solvane_journal(changedat, bylogin, byname, verb, rowtable, keyid, keycontent, "
        "keydemander, changes) FROM STDIN",
        kJournalTable);
    const long long stored = countOn(target, "SELECT count(*) FROM solvane_journal");
    if (stored != copied)
        throw std::runtime_error(std::string(kJournalTable) + ": " + std::to_string(copied) +
                                 " rows read but " + std::to_string(stored) + " stored");
}

} // namespace

TableCounts copySqliteToPostgres(const std::string &sqlitePath, const std::string &conninfo,
                                 const std::string &serverRole) {
    sqlite3 *rawSource = nullptr;
    const int opened = sqlite3_open_v2(sqlitePath.c_str(), &rawSource, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, SqliteClose> source(rawSource);
    // One read transaction: the file of one moment, even while it is served.
    if (opened != SQLITE_OK ||
        sqlite3_exec(source.get(), "BEGIN; SELECT count(*) FROM Login", nullptr, nullptr,
                     nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot read " + sqlitePath + ": " +
                                 sqlite3_errmsg(source.get()));

    PgConnPtr target = connectPostgres(conninfo);
    execOrThrow(target.get(), "BEGIN ISOLATION LEVEL SERIALIZABLE", "cannot start the copy");
    createPostgresSchemaOn(target.get(), serverRole);
    for (const ClientTable &table : kClientTableColumns)
        if (countOn(target.get(), std::string("SELECT count(*) FROM \"") + table.name + '"') > 0)
            throw std::runtime_error(describeConnection(target.get()) + " is not empty: " +
                                     table.name + " holds rows; nothing was copied");

    TableCounts counts{};
    for (size_t t = 0; t < counts.size(); ++t) {
        const ClientTable &table = kClientTableColumns[t];
        const long long copied = copyTable(source.get(), target.get(), table);
        const long long stored =
            countOn(target.get(), std::string("SELECT count(*) FROM \"") + table.name + '"');
        if (stored != copied)
            throw std::runtime_error(std::string(table.name) + ": " + std::to_string(copied) +
                                     " rows read but " + std::to_string(stored) + " stored");
        counts[t] = stored;
    }
    copyJournal(source.get(), target.get());
    // The unique indexes refuse duplicates already; this says so plainly.
    if (countOn(target.get(), "SELECT (SELECT count(\"ProId\") - count(DISTINCT \"ProId\") FROM "
                              "\"Programe\") + (SELECT count(\"UseName\") - count(DISTINCT "
                              "lower(\"UseName\")) FROM \"Login\")") != 0)
        throw std::runtime_error("a project number or login name would be there twice");
    readyPostgresForQueries(target.get());
    execOrThrow(target.get(), "COMMIT", "cannot commit the copy");
    return counts;
}

} // namespace appserver
