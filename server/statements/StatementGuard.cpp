#include "statements/StatementGuard.h"

#include "statements/ClientTables.h"

#include <cstring>
#include <sqlite3.h>
#include <strings.h>

#include <initializer_list>

namespace appserver {
namespace {

bool isClientTable(const char *table) {
    if (!table)
        return false;
    for (const char *name : kClientTables)
        if (strcasecmp(name, table) == 0)
            return true;
    return false;
}

bool isJournal(const char *table) { return table && strcasecmp(table, kJournalTable) == 0; }

bool isMainDatabase(const char *database) {
    return database == nullptr || strcmp(database, "main") == 0;
}

// Pure functions on values. Everything that reaches outside a statement's
// own rows (extensions, files, the schema) is missing here on purpose.
bool isDateFunction(const char *name) {
    for (const char *candidate : {"date", "time", "datetime", "strftime", "julianday"})
        if (strcasecmp(candidate, name) == 0)
            return true;
    return false;
}

bool isAllowedFunction(const char *name) {
    static constexpr std::initializer_list<const char *> allowed = {
        "like", "glob", "lower", "upper", "length", "substr", "substring", "trim", "ltrim",
        "rtrim", "replace", "instr", "coalesce", "ifnull", "nullif", "iif", "count", "max",
        "min", "sum", "total", "avg", "abs", "round", "date", "time", "datetime", "strftime",
        "julianday", "group_concat", "printf", "format", "char", "unicode", "hex", "quote",
        "typeof", "cast"};
    if (!name)
        return false;
    for (const char *candidate : allowed)
        if (strcasecmp(candidate, name) == 0)
            return true;
    return false;
}

int deny(GuardState &state, std::string why) {
    state.denial = std::move(why);
    return SQLITE_DENY;
}

std::string tableName(const char *table) { return table ? table : "?"; }

} // namespace

int authorizeClientAction(void *guardState, int action, const char *arg1, const char *arg2,
                          const char *database, const char * /*trigger*/) {
    auto &state = *static_cast<GuardState *>(guardState);
    const char *method = methodName(state.method);

    switch (action) {
    case SQLITE_SELECT:
        return SQLITE_OK;
    case SQLITE_READ:
        if ((isClientTable(arg1) || isJournal(arg1)) && isMainDatabase(database)) {
            state.read.emplace_back(arg1);
            return SQLITE_OK;
        }
        return deny(state, "reading " + tableName(arg1) + " is not allowed");
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE: {
        if (!isClientTable(arg1) || !isMainDatabase(database))
            return deny(state, "changing " + tableName(arg1) + " is not allowed");
        const bool isDelete = action == SQLITE_DELETE;
        if (isDelete && state.method != Method::DelSQL)
            return deny(state, std::string(method) + " does not run DELETE");
        if (!isDelete && state.method != Method::ExecSQL)
            return deny(state, std::string(method) + " does not run INSERT or UPDATE");
        state.changed.emplace_back(arg1);
        return SQLITE_OK;
    }
    case SQLITE_FUNCTION:
        if (isAllowedFunction(arg2)) {
            state.readsClock |= isDateFunction(arg2);
            return SQLITE_OK;
        }
        return deny(state, std::string("the function ") + (arg2 ? arg2 : "?") +
                               " is not allowed");
    case SQLITE_PRAGMA:
        return deny(state, "PRAGMA statements are not allowed");
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        return deny(state, "ATTACH and DETACH are not allowed");
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
        return deny(state, "transaction control is not allowed");
    default:
        // Schema changes, temporary objects, virtual tables, ANALYZE, REINDEX,
        // recursive queries and whatever later SQLite versions add.
        return deny(state, "only SELECT, INSERT, UPDATE and DELETE on the data tables are "
                           "allowed");
    }
}

} // namespace appserver
