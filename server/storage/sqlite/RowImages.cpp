#include "storage/sqlite/RowImages.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace appserver {
namespace {

using Read = int (*)(sqlite3 *, int, sqlite3_value **);

StoredRow rowOf(sqlite3 *db, Read read) {
    StoredRow row(size_t(std::max(0, sqlite3_preupdate_count(db))));
    for (size_t i = 0; i < row.size(); ++i) {
        sqlite3_value *value = nullptr;
        if (read(db, int(i), &value) != SQLITE_OK || !value)
            return {};
        if (sqlite3_value_type(value) == SQLITE_NULL)
            continue;
        // As the answer writer reads a cell: its text.
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
        row[i] = std::string(text ? text : "", size_t(sqlite3_value_bytes(value)));
    }
    return row;
}

} // namespace

void RowImages::watch(sqlite3 *db) {
    sqlite3_preupdate_hook(db, &RowImages::hook, this);
}

void RowImages::begin() {
    rows_.clear();
    told_ = 0;
    whole_ = true;
    noting_ = true;
}

const RowImages::ByTable *RowImages::end(bool kept, long long changes) {
    noting_ = false;
    // A deletion SQLite makes without telling (emptying a table) still counts as changes.
    if (!kept || !whole_ || changes > static_cast<long long>(told_))
        return nullptr;
    return &rows_;
}

void RowImages::hook(void *self, sqlite3 *db, int operation, const char *database,
                     const char *table, long long before, long long after) {
    auto &images = *static_cast<RowImages *>(self);
    if (!images.noting_ || !images.whole_)
        return;
    // A row a trigger changes, a row moved to another rowid (its place in a
    // scan), one of another database or beyond the count: not told.
    if (sqlite3_preupdate_depth(db) != 0 || std::strcmp(database, "main") != 0 ||
        (operation == SQLITE_UPDATE && before != after) || images.told_ >= kMostRows) {
        images.whole_ = false;
        return;
    }
    ChangedRow change;
    if (operation != SQLITE_INSERT)
        change.before = rowOf(db, &sqlite3_preupdate_old);
    if (operation != SQLITE_DELETE)
        change.after = rowOf(db, &sqlite3_preupdate_new);
    if ((change.before && change.before->empty()) || (change.after && change.after->empty())) {
        images.whole_ = false;
        return;
    }
    std::string name = table;
    for (char &c : name)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    images.rows_[name].push_back(std::move(change));
    ++images.told_;
}

} // namespace appserver
