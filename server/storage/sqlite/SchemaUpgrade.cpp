#include "storage/sqlite/SchemaUpgrade.h"

#include "storage/sqlite/SqliteSchema.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace appserver {
namespace {

void exec(sqlite3 *db, const char *sql) {
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = std::string("cannot upgrade the database: ") +
                           (message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw std::runtime_error(text);
    }
}

bool loginNamesIgnoreCase(sqlite3 *db) {
    const char *collation = nullptr;
    if (sqlite3_table_column_metadata(db, "main", "Login", "UseName", nullptr, &collation,
                                      nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("cannot read the Login table: ") +
                                 sqlite3_errmsg(db));
    return collation && sqlite3_stricmp(collation, "NOCASE") == 0;
}

// Earlier versions compared login names with letter case everywhere but in
// their unique index. A column's collation cannot be altered in SQLite, so
// the table is built anew with the rows in their order.
void makeLoginNamesIgnoreCase(sqlite3 *db) {
    exec(db, "BEGIN IMMEDIATE");
    try {
        exec(db, "DROP INDEX IF EXISTS Login_UseName;"
                 "ALTER TABLE Login RENAME TO Login_before_upgrade;");
        exec(db, kSchemaSql);
        exec(db, "INSERT INTO Login(rowid, UseName, PassWord, Remark)"
                 " SELECT rowid, UseName, PassWord, Remark FROM Login_before_upgrade;"
                 "DROP TABLE Login_before_upgrade;");
        exec(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace

void upgradeSchema(sqlite3 *db) {
    if (!loginNamesIgnoreCase(db))
        makeLoginNamesIgnoreCase(db);
}

} // namespace appserver
