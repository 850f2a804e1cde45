#include "storage/postgres/PgPanel.h"

#include "protocol/StatementShapes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace appserver {
namespace {

constexpr const char *kPanelShape = "Select * From Notice Where CreateTime>=?Order by CreateTime desc";
constexpr unsigned long long kComparableIds = 1ull << 31;

// The log of insertions: one row per inserting statement and time, with the
// id of the transaction that inserted (xid8, so it compares across
// wraparound). The function runs as the owner, so the server's role needs no
// right to write it. A trigger made anew moves Notice's count of other
// changes: a snapshot taken before it (when insertions were not logged)
// then no longer compares with one taken after. Making it waits for every
// transaction inserting into Notice, so none straddles it.
constexpr const char *kAddedNoticesSql = R"SQL(
CREATE TABLE IF NOT EXISTS solvane_notices_added(xact xid8 NOT NULL,
    createtime text COLLATE "C", added bigint NOT NULL);
CREATE INDEX IF NOT EXISTS solvane_notices_added_xact ON solvane_notices_added(xact);
CREATE OR REPLACE FUNCTION solvane_log_notices_added() RETURNS trigger LANGUAGE plpgsql
    SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    INSERT INTO public.solvane_notices_added
        SELECT pg_current_xact_id(), "CreateTime", count(*) FROM added GROUP BY "CreateTime";
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION solvane_log_notices_added() FROM PUBLIC;
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgrelid = '"Notice"'::regclass
                   AND tgname = 'solvane_notices_added') THEN
        CREATE TRIGGER solvane_notices_added AFTER INSERT ON "Notice"
            REFERENCING NEW TABLE AS added FOR EACH STATEMENT
            EXECUTE FUNCTION solvane_log_notices_added();
        INSERT INTO solvane_change_slots VALUES ('Notice', 1024, 0, 1) ON CONFLICT (table_name, slot)
            DO UPDATE SET others = solvane_change_slots.others + 1;
    END IF;
END
$$;
)SQL";

// Whether the log can be read and its trigger fires.
constexpr const char *kLogged =
    "coalesce(has_table_privilege(to_regclass('solvane_notices_added'), 'SELECT'), false) AND "
    "EXISTS (SELECT FROM pg_trigger WHERE tgrelid = '\"Notice\"'::regclass AND "
    "tgname = 'solvane_notices_added' AND tgenabled IN ('O', 'A'))";

const std::string kSnapshotNow =
    std::string("SELECT pg_current_snapshot()::text, pg_relation_filenode('\"Notice\"')::text, ") +
    kLogged;

// The times the transactions unseen then inserted rows at, and how many.
constexpr const char *kLoggedTimes =
    "SELECT createtime, sum(added)::text FROM solvane_notices_added WHERE "
    "xact >= pg_snapshot_xmin($2::pg_snapshot) AND NOT pg_visible_in_snapshot(xact, "
    "$2::pg_snapshot) AND createtime >= $1 GROUP BY createtime";

// The rows at those times ($2) whose inserting transaction had not committed
// for the snapshot: begun at or after its xmax ($3; age() compares within
// 2^31), or in progress then ($4). Each is placed by numbering the panel's
// rows from the earliest of those times ($1) on, which are few and read
// through the index: counting per row reads a third of the table as the
// planner sees it, and it then reads the whole.
constexpr const char *kAddedRowsAtTimes =
    "SELECT s.place, (s.notice).* FROM (SELECT row_number() OVER (ORDER BY n.\"CreateTime\" "
    "DESC, n.ctid DESC) - 1 AS place, n AS notice, n.\"CreateTime\" = ANY($2::text[]) AND "
    "(age(n.xmin) <= age($3::xid) OR n.xmin = ANY($4::xid[])) AS added FROM \"Notice\" n "
    "WHERE n.\"CreateTime\" >= $1) s WHERE s.added ORDER BY 1";

// {"a","b"}: a text[] literal.
std::string textArray(const std::vector<std::string> &values) {
    std::string literal = "{";
    for (const std::string &value : values) {
        if (literal.size() > 1)
            literal += ',';
        literal += '"';
        for (char c : value) {
            if (c == '"' || c == '\\')
                literal += '\\';
            literal += c;
        }
        literal += '"';
    }
    return literal + '}';
}

// The times the transactions then unseen inserted panel rows at, with how
// many each; false when the log cannot be read.
bool loggedTimes(const PgCall &call, const std::string &since, const PgSnapshot &then,
                 std::unordered_map<std::string, unsigned long long> &added) {
    const char *values[2] = {since.c_str(), then.text.c_str()};
    PgResultPtr read = call([&](PGconn *c) {
        return PQsendQueryParams(c, kLoggedTimes, 2, nullptr, values, nullptr, nullptr, 0);
    });
    if (PQresultStatus(read.get()) != PGRES_TUPLES_OK)
        return false;
    for (int r = 0; r < PQntuples(read.get()); ++r)
        added[PQgetvalue(read.get(), r, 0)] = std::strtoull(PQgetvalue(read.get(), r, 1), nullptr, 10);
    return true;
}

} // namespace

void PgSnapshots::note(const std::string &version, const PgSnapshot &snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!byVersion_.emplace(version, snapshot).second)
        return; // one version, one set of rows: the first snapshot serves
    order_.push_back(version);
    if (order_.size() > kRemembered) {
        byVersion_.erase(order_.front());
        order_.pop_front();
    }
}

std::optional<PgSnapshot> PgSnapshots::find(const std::string &version) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byVersion_.find(version);
    if (found == byVersion_.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::string> panelSince(const std::string &sql) {
    auto reduced = StatementShapes::reduce(sql);
    if (!reduced || reduced->bareParameter || reduced->shape != kPanelShape ||
        reduced->literals.size() != 1)
        return std::nullopt;
    return std::move(reduced->literals.front());
}

std::optional<PgSnapshot> snapshotNow(const PgCall &call, const std::string &noticeOthers) {
    PgResultPtr read = call([](PGconn *c) { return PQsendQuery(c, kSnapshotNow.c_str()); });
    if (PQresultStatus(read.get()) != PGRES_TUPLES_OK || PQntuples(read.get()) != 1)
        return std::nullopt;
    // xmin:xmax:xip,xip,...
    const char *text = PQgetvalue(read.get(), 0, 0);
    const char *afterXmin = std::strchr(text, ':');
    if (!afterXmin)
        return std::nullopt;
    char *end = nullptr;
    PgSnapshot snapshot;
    snapshot.xmax = std::strtoull(afterXmin + 1, &end, 10);
    if (*end != ':' || snapshot.xmax >= kComparableIds)
        return std::nullopt;
    for (const char *at = end + 1; *at;) {
        snapshot.inProgress.push_back(std::strtoull(at, &end, 10));
        if (end == at || (*end != ',' && *end != '\0'))
            return std::nullopt;
        at = *end == ',' ? end + 1 : end;
    }
    snapshot.text = text;
    snapshot.others = noticeOthers + ' ' + PQgetvalue(read.get(), 0, 1);
    snapshot.logged = PQgetvalue(read.get(), 0, 2)[0] == 't';
    return snapshot;
}

void orderTiesNewestFirst(std::string &translatedPanel) { translatedPanel += ", ctid desc"; }

bool placeRowsAddedSince(const PgCall &call, const std::string &since, const PgSnapshot &then,
                         bool loggedNow, PlacedRows &rows) {
    std::unordered_map<std::string, unsigned long long> logged;
    if (!then.logged || !loggedNow || !loggedTimes(call, since, then, logged))
        return false;
    if (logged.empty())
        return true;
    std::vector<std::string> times;
    for (const auto &entry : logged)
        times.push_back(entry.first);
    const std::string atTimes = textArray(times);
    const std::string earliest = *std::min_element(times.begin(), times.end());
    const std::string xmax = std::to_string(then.xmax);
    std::string inProgress = "{";
    for (unsigned long long id : then.inProgress) {
        if (inProgress.size() > 1)
            inProgress += ',';
        inProgress += std::to_string(id);
    }
    inProgress += '}';
    const char *values[4] = {earliest.c_str(), atTimes.c_str(), xmax.c_str(), inProgress.c_str()};
    PgResultPtr added = call([&](PGconn *c) {
        return PQsendQueryParams(c, kAddedRowsAtTimes, 4, nullptr, values, nullptr, nullptr, 0);
    });
    if (PQresultStatus(added.get()) != PGRES_TUPLES_OK)
        return false;
    const int columns = PQnfields(added.get());
    const int timeColumn = PQfnumber(added.get(), "\"CreateTime\"");
    if (timeColumn < 0)
        return false;
    std::vector<CellView> row(size_t(columns - 1));
    for (int r = 0; r < PQntuples(added.get()); ++r) {
        // As many rows at each time as were logged: a row whose xmin says
        // nothing of the snapshot (inserted in a savepoint of a transaction
        // open then) is missed otherwise.
        const auto count = logged.find(PQgetvalue(added.get(), r, timeColumn));
        if (count == logged.end() || count->second == 0)
            return false;
        --count->second;
        for (int c = 1; c < columns; ++c)
            row[size_t(c - 1)] =
                PQgetisnull(added.get(), r, c)
                    ? CellView()
                    : CellView(std::string_view(PQgetvalue(added.get(), r, c),
                                                size_t(PQgetlength(added.get(), r, c))));
        if (!rows.add(size_t(std::strtoull(PQgetvalue(added.get(), r, 0), nullptr, 10)), row))
            return false;
    }
    for (const auto &count : logged)
        if (count.second != 0)
            return false;
    return true;
}

std::string addedNoticesSql() { return kAddedNoticesSql; }

std::string grantAddedNoticesSql(const std::string &quotedRole) {
    return "GRANT SELECT ON solvane_notices_added TO " + quotedRole;
}

void prepareAddedNotices(PGconn *conn) {
    PgResultPtr ready(PQexec(conn, ("SELECT " + std::string(kLogged)).c_str()));
    if (PQresultStatus(ready.get()) == PGRES_TUPLES_OK && PQntuples(ready.get()) == 1 &&
        PQgetvalue(ready.get(), 0, 0)[0] == 't')
        return;
    // One transaction: all of it or nothing.
    PgResultPtr made(PQexec(conn, kAddedNoticesSql));
    if (PQresultStatus(made.get()) == PGRES_COMMAND_OK)
        return;
    std::fprintf(stderr,
                 "solvane-server: %s keeps no log of the notices added that this role can read "
                 "(%s): the notice panel runs again at every change, until --init is run again "
                 "as the tables' owner, with --grant-to this server's role\n",
                 describeConnection(conn).c_str(),
                 errorField(made.get(), PG_DIAG_MESSAGE_PRIMARY).c_str());
}

} // namespace appserver
