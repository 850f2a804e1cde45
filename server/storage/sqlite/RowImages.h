#pragma once
// The rows a change touches, whole, as they were and as they became, told by
// SQLite's pre-update hook while the change runs: what the change log keeps
// for bringing kept lists up to date without reading the tables again.

#include "storage/Storage.h"

#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace appserver {

class RowImages {
public:
    // The rows changed, by table (lower-case name), in the order they were.
    using ByTable = std::unordered_map<std::string, std::vector<ChangedRow>>;

    // Installs the hook on the connection that writes.
    void watch(sqlite3 *db);
    // Around one change: what it did, told only when every row it touched was
    // told (none made by a trigger, none beyond a few hundred) and it
    // changed no more rows than told.
    void begin();
    const ByTable *end(bool kept, long long changes);

private:
    static void hook(void *self, sqlite3 *db, int operation, const char *database,
                     const char *table, long long before, long long after);

    // A change touching more rows than this is not told row by row: its
    // rows would hold the log's memory for little.
    static constexpr size_t kMostRows = 256;

    ByTable rows_;
    size_t told_ = 0;
    bool whole_ = true;
    bool noting_ = false;
};

} // namespace appserver
