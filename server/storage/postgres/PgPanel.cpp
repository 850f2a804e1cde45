#include "storage/postgres/PgPanel.h"

#include "protocol/StatementShapes.h"

#include <cstdlib>
#include <cstring>

namespace appserver {
namespace {

constexpr const char *kPanelShape = "Select * From Notice Where CreateTime>=?Order by CreateTime desc";
constexpr unsigned long long kComparableIds = 1ull << 31;

constexpr const char *kSnapshotNow =
    "SELECT pg_current_snapshot()::text, (SELECT coalesce(sum(others), 0) FROM "
    "solvane_change_slots WHERE table_name = 'Notice')::text || ' ' || "
    "pg_relation_filenode('\"Notice\"')::text";

// A row is new when its inserting transaction had not committed for the
// snapshot: begun at or after its xmax (age() compares within 2^31), or in
// progress then.
constexpr const char *kAddedRows =
    "SELECT (SELECT count(*) FROM \"Notice\" WHERE \"CreateTime\" > n.\"CreateTime\") + "
    "(SELECT count(*) FROM \"Notice\" WHERE \"CreateTime\" = n.\"CreateTime\" AND ctid > n.ctid), "
    "n.* FROM \"Notice\" n WHERE n.\"CreateTime\" >= $1 AND "
    "(age(n.xmin) <= age($2::xid) OR n.xmin = ANY($3::xid[])) ORDER BY 1";

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

std::optional<PgSnapshot> snapshotNow(const PgCall &call) {
    PgResultPtr read = call([](PGconn *c) { return PQsendQuery(c, kSnapshotNow); });
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
    snapshot.others = PQgetvalue(read.get(), 0, 1);
    return snapshot;
}

void orderTiesNewestFirst(std::string &translatedPanel) { translatedPanel += ", ctid desc"; }

bool placeRowsAddedSince(const PgCall &call, const std::string &since, const PgSnapshot &then,
                         PlacedRows &rows) {
    const std::string xmax = std::to_string(then.xmax);
    std::string inProgress = "{";
    for (unsigned long long id : then.inProgress) {
        if (inProgress.size() > 1)
            inProgress += ',';
        inProgress += std::to_string(id);
    }
    inProgress += '}';
    const char *values[3] = {since.c_str(), xmax.c_str(), inProgress.c_str()};
    PgResultPtr added = call([&](PGconn *c) {
        return PQsendQueryParams(c, kAddedRows, 3, nullptr, values, nullptr, nullptr, 0);
    });
    if (PQresultStatus(added.get()) != PGRES_TUPLES_OK)
        return false;
    const int columns = PQnfields(added.get());
    std::vector<CellView> row(size_t(columns - 1));
    for (int r = 0; r < PQntuples(added.get()); ++r) {
        for (int c = 1; c < columns; ++c)
            row[size_t(c - 1)] =
                PQgetisnull(added.get(), r, c)
                    ? CellView()
                    : CellView(std::string_view(PQgetvalue(added.get(), r, c),
                                                size_t(PQgetlength(added.get(), r, c))));
        if (!rows.add(size_t(std::strtoull(PQgetvalue(added.get(), r, 0), nullptr, 10)), row))
            return false;
    }
    return true;
}

} // namespace appserver
