#include "storage/postgres/PgRowLog.h"

#include "protocol/StatementShapes.h"
#include "statements/ClientTables.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace appserver {
namespace {

constexpr const char *kLogged[] = {"Programe", "Task"};

// The function runs as whoever changes the table, and writes only to that
// session's own temporary table, which the server makes; the condition
// keeps every other session from even queueing the triggers. A statement
// fires its statement trigger as it fires solvane_count_change() (for each
// of INSERT, UPDATE and DELETE it does), so the notes count the statements
// that moved the change counter.
constexpr const char *kRowLogFunctionSql = R"SQL(
CREATE OR REPLACE FUNCTION solvane_log_row() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_LEVEL = 'STATEMENT' THEN
        INSERT INTO pg_temp.solvane_row_log(table_name, statement) VALUES (TG_TABLE_NAME, true);
    ELSE
        INSERT INTO pg_temp.solvane_row_log(table_name, before, after) VALUES (TG_TABLE_NAME,
            CASE WHEN TG_OP <> 'INSERT' THEN pg_catalog.to_jsonb(OLD) END,
            CASE WHEN TG_OP <> 'DELETE' THEN pg_catalog.to_jsonb(NEW) END);
    END IF;
    RETURN NULL;
END
$$;
)SQL";

constexpr const char *kLoggedWhen =
    " WHEN (pg_catalog.current_setting('solvane.log_rows', true) = 'on') "
    "EXECUTE FUNCTION solvane_log_row();\n";

constexpr const char *kTriggersFound =
    "SELECT count(*) FROM pg_catalog.pg_trigger WHERE tgname IN ('solvane_row_log', "
    "'solvane_statement_log') AND "
    "tgenabled <> 'D' AND tgrelid IN ('public.\"Programe\"'::regclass, "
    "'public.\"Task\"'::regclass)";

// The copies, oldest first, read and cleared at once. Every column is text,
// and JSON gives text back exactly.
constexpr const char *kTakeCopies =
    "WITH taken AS (DELETE FROM pg_temp.solvane_row_log RETURNING *) "
    "SELECT table_name, statement, before::text, after::text FROM taken ORDER BY id";

constexpr const char *kCopiesTable =
    "CREATE TEMPORARY TABLE IF NOT EXISTS solvane_row_log(id bigint GENERATED ALWAYS AS "
    "IDENTITY, table_name text NOT NULL, statement boolean NOT NULL DEFAULT false, "
    "before jsonb, after jsonb)";

const ClientTable *columnsOf(const char *table) {
    for (const ClientTable &known : kClientTableColumns)
        if (std::strcmp(known.name, table) == 0)
            return &known;
    return nullptr;
}

size_t widthOf(const ClientTable &table) {
    size_t width = 0;
    while (width < std::size(table.columns) && table.columns[width])
        ++width;
    return width;
}

size_t bytesOf(const std::vector<ChangedRow> &rows) {
    size_t bytes = 0;
    for (const ChangedRow &row : rows)
        for (const auto *image : {&row.before, &row.after})
            if (*image)
                for (const auto &cell : **image)
                    bytes += 16 + (cell ? cell->size() : 0);
    return bytes;
}

} // namespace

std::string rowLogSql() {
    std::string sql = kRowLogFunctionSql;
    for (const char *table : kLogged)
        for (const char *level : {"ROW", "STATEMENT"})
            sql += std::string("CREATE OR REPLACE TRIGGER ") +
                   (level[0] == 'R' ? "solvane_row_log" : "solvane_statement_log") +
                   " AFTER INSERT OR UPDATE OR DELETE ON \"" + table + "\" FOR EACH " + level +
                   kLoggedWhen;
    return sql;
}

bool checkRowLog(const std::string &conninfo) {
    PgConnPtr conn = connectPostgres(conninfo);
    // Memory matches LIKE's _ as one UTF-8 character, as such a database does.
    const char *encoding = PQparameterStatus(conn.get(), "server_encoding");
    if (!encoding || std::strcmp(encoding, "UTF8") != 0) {
        std::fprintf(stderr,
                     "solvane-server: %s is not in UTF-8: members' own lists run their "
                     "statements after every change\n",
                     describeConnection(conn.get()).c_str());
        return false;
    }
    PgResultPtr found(PQexec(conn.get(), kTriggersFound));
    if (PQresultStatus(found.get()) == PGRES_TUPLES_OK && PQntuples(found.get()) == 1 &&
        std::atoi(PQgetvalue(found.get(), 0, 0)) == int(2 * std::size(kLogged)))
        return true;
    // A database of an earlier version gains them at once where this role may make them.
    PgResultPtr made(PQexec(conn.get(), ("BEGIN;" + rowLogSql() + "COMMIT").c_str()));
    if (PQresultStatus(made.get()) == PGRES_COMMAND_OK)
        return true;
    const std::string why = errorField(made.get(), PG_DIAG_MESSAGE_PRIMARY);
    PgResultPtr ended(PQexec(conn.get(), "ROLLBACK"));
    std::fprintf(stderr,
                 "solvane-server: %s copies no changed rows and this role cannot make it do so "
                 "(%s): members' own lists run their statements after every change until --init "
                 "is run again as the tables' owner\n",
                 describeConnection(conn.get()).c_str(), why.c_str());
    return false;
}

const OwnListShape *ownListOf(const std::string &sql) {
    const auto reduced = StatementShapes::reduce(sql);
    if (!reduced || reduced->bareParameter)
        return nullptr;
    for (const OwnListShape &list : ownListShapes())
        if (reduced->shape == list.shape)
            return &list;
    return nullptr;
}

void orderListTiesByColumns(const OwnListShape &list, std::string &translated) {
    const ClientTable *table = columnsOf(list.table);
    if (!table)
        return;
    translated += list.descendingBy ? ", " : " ORDER BY ";
    for (size_t i = 0; i < widthOf(*table); ++i) {
        if (i)
            translated += ", ";
        translated += '"';
        translated += table->columns[i];
        translated += '"';
    }
}

unsigned loggedTables() {
    unsigned bits = 0;
    for (const char *logged : kLogged)
        for (size_t t = 0; t < std::size(kClientTables); ++t)
            if (std::strcmp(kClientTables[t], logged) == 0)
                bits |= 1u << t;
    return bits;
}

bool prepareRowCopies(const PgCall &call) {
    PgResultPtr made = call([](PGconn *c) { return PQsendQuery(c, kCopiesTable); });
    return PQresultStatus(made.get()) == PGRES_COMMAND_OK;
}

namespace {

// A row as to_jsonb() gave it: every column of the table, text or null.
std::optional<StoredRow> rowOf(const nlohmann::json &image, const ClientTable &table) {
    const size_t width = widthOf(table);
    if (!image.is_object() || image.size() != width)
        return std::nullopt;
    StoredRow row;
    for (size_t c = 0; c < width; ++c) {
        const auto cell = image.find(table.columns[c]);
        if (cell == image.end() || !(cell->is_string() || cell->is_null()))
            return std::nullopt;
        if (cell->is_null())
            row.emplace_back();
        else
            row.emplace_back(cell->get<std::string>());
    }
    return row;
}

} // namespace

std::optional<CopiedRows> takeCopiedRows(const PgCall &call) {
    PgResultPtr read = call([](PGconn *c) { return PQsendQuery(c, kTakeCopies); });
    if (PQresultStatus(read.get()) != PGRES_TUPLES_OK || PQnfields(read.get()) != 4)
        return std::nullopt;
    CopiedRows copied;
    for (int r = 0; r < PQntuples(read.get()); ++r) {
        const char *name = PQgetvalue(read.get(), r, 0);
        const ClientTable *table = columnsOf(name);
        if (!table)
            return std::nullopt;
        CopiedChanges &changes = copied[name];
        if (std::strcmp(PQgetvalue(read.get(), r, 1), "t") == 0) {
            ++changes.statements;
            continue;
        }
        ChangedRow row;
        for (int image = 0; image < 2; ++image) {
            if (PQgetisnull(read.get(), r, 2 + image))
                continue;
            const auto json = nlohmann::json::parse(PQgetvalue(read.get(), r, 2 + image), nullptr,
                                                    false);
            auto cells = rowOf(json, *table);
            if (!cells)
                return std::nullopt;
            (image == 0 ? row.before : row.after) = std::move(*cells);
        }
        changes.rows.push_back(std::move(row));
    }
    return copied;
}

std::string versionMovedBy(const std::string &version, long long statements) {
    const size_t space = version.rfind(' ');
    if (space == std::string::npos || space + 1 == version.size())
        return {};
    char *end = nullptr;
    const unsigned long long counter = std::strtoull(version.c_str() + space + 1, &end, 10);
    if (*end != '\0')
        return {};
    return version.substr(0, space + 1) + std::to_string(counter + (unsigned long long)statements);
}

void PgRowLog::note(const std::string &before, const std::string &after,
                    std::vector<ChangedRow> rows) {
    const size_t bytes = bytesOf(rows);
    if (bytes > kMostBytes)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!byBefore_.emplace(before, Step{after, std::move(rows), bytes}).second)
        return; // one version, one next state: the first told serves
    order_.push_back(before);
    bytes_ += bytes;
    while (order_.size() > kMostSteps || bytes_ > kMostBytes) {
        const auto oldest = byBefore_.find(order_.front());
        bytes_ -= oldest->second.bytes;
        byBefore_.erase(oldest);
        order_.pop_front();
    }
}

bool PgRowLog::changesBetween(const std::string &since, const std::string &now,
                              std::vector<ChangedRow> &rows) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows.clear();
    const std::string *at = &since;
    for (size_t steps = 0; *at != now; ++steps) {
        const auto step = byBefore_.find(*at);
        if (step == byBefore_.end() || steps > order_.size())
            return false;
        rows.insert(rows.end(), step->second.rows.begin(), step->second.rows.end());
        at = &step->second.after;
    }
    return true;
}

} // namespace appserver
