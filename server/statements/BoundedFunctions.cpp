#include "statements/BoundedFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace appserver {
namespace {

using Cost = unsigned long long;

Cost bytes(sqlite3_value *value) { return static_cast<Cost>(sqlite3_value_bytes(value)); }

// A search compares each position of the text with up to the whole pattern.
Cost textTimesPattern(int, sqlite3_value **argv) { return bytes(argv[0]) * bytes(argv[1]); }

// printf() loops once per padding position and per repeat of a %c, so its
// cost is the sum of the widths and precisions it is given.
Cost widthsAndPrecisions(int argc, sqlite3_value **argv) {
    if (argc == 0)
        return 0;
    const auto *p = sqlite3_value_text(argv[0]);
    if (!p)
        return 0;
    constexpr Cost kLargest = 0x7fffffff; // SQLite keeps both in an int
    int next = 1;                         // the argument a '*' or conversion takes
    auto number = [&]() -> Cost {
        if (*p == '*') {
            ++p;
            if (next >= argc)
                return 0;
            const long long value = sqlite3_value_int64(argv[next++]);
            return std::min(kLargest, value < 0 ? Cost(-(value + 1)) + 1 : Cost(value));
        }
        Cost value = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            value = std::min(kLargest, value * 10 + Cost(*p - '0'));
        return value;
    };
    Cost total = 0;
    while (*p) {
        if (*p++ != '%')
            continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        while (*p && std::strchr("-+ #!0,", *p))
            ++p;
        total += number();
        if (*p == '.') {
            ++p;
            total += number();
        }
        while (*p == 'l')
            ++p;
        if (!*p)
            break;
        ++p;
        ++next; // the conversion's own value
    }
    return total;
}

bool patternTooLong(sqlite3_context *context, sqlite3_value *pattern) {
    sqlite3 *db = sqlite3_context_db_handle(context);
    if (sqlite3_value_bytes(pattern) <= sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1))
        return false;
    sqlite3_result_error(context, "LIKE or GLOB pattern too complex", -1);
    return true;
}

int likeWithoutEscape(const char *pattern, const char *text) {
    return sqlite3_strlike(pattern, text, 0);
}

// like(P,X) and glob(P,X) run through SQLite's own matcher right here: they
// are in the members' everyday statements, where a detour would cost.
template <int (*compare)(const char *pattern, const char *text)>
void matchHere(sqlite3_context *context, int, sqlite3_value **argv) {
    if (patternTooLong(context, argv[0]))
        return;
    const auto *pattern = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    if (pattern && text)
        sqlite3_result_int(context, compare(pattern, text) == 0);
}

} // namespace

struct BoundedFunctions::Guard {
    const char *name;
    int args; // -1: any number
    Cost (*cost)(int argc, sqlite3_value **argv);
    Cost budget;
    void (*here)(sqlite3_context *, int, sqlite3_value **); // else SQLite's, elsewhere
};

namespace {

// Measured worst cases: each budget is some 30 ms of one core's work.
constexpr Cost kComparedBytes = Cost(1) << 29; // memcmp() runs at many bytes a nanosecond
constexpr Cost kMatchSteps = Cost(1) << 24;    // like(), glob(): a character at a time
constexpr Cost kTrimSteps = Cost(1) << 23;     // trim(): each character against the set
constexpr Cost kRepeats = Cost(1) << 22;       // printf(): a function call per repeat

const BoundedFunctions::Guard kGuards[] = {
    {"replace", 3, textTimesPattern, kComparedBytes, nullptr},
    {"instr", 2, textTimesPattern, kComparedBytes, nullptr},
    {"trim", 2, textTimesPattern, kTrimSteps, nullptr},
    {"ltrim", 2, textTimesPattern, kTrimSteps, nullptr},
    {"rtrim", 2, textTimesPattern, kTrimSteps, nullptr},
    {"like", 2, textTimesPattern, kMatchSteps, matchHere<likeWithoutEscape>},
    {"like", 3, textTimesPattern, kMatchSteps, nullptr},
    {"glob", 2, textTimesPattern, kMatchSteps, matchHere<sqlite3_strglob>},
    {"printf", -1, widthsAndPrecisions, kRepeats, nullptr},
    {"format", -1, widthsAndPrecisions, kRepeats, nullptr},
};

} // namespace

BoundedFunctions::BoundedFunctions(sqlite3 *db) {
    if (sqlite3_open_v2(":memory:", &builtIns_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close_v2(builtIns_);
        throw std::runtime_error("cannot open a connection in memory");
    }
    for (int limit : {SQLITE_LIMIT_LENGTH, SQLITE_LIMIT_LIKE_PATTERN_LENGTH})
        sqlite3_limit(builtIns_, limit, sqlite3_limit(db, limit, -1));
    for (const Guard &guard : kGuards) {
        bindings_.push_back(std::make_unique<Binding>(Binding{this, &guard}));
        const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
        if (sqlite3_create_function_v2(db, guard.name, guard.args, flags, bindings_.back().get(),
                                       &BoundedFunctions::call, nullptr, nullptr,
                                       nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("cannot guard ") + guard.name + "()");
    }
}

BoundedFunctions::~BoundedFunctions() {
    for (auto &entry : calls_)
        sqlite3_finalize(entry.second);
    sqlite3_close_v2(builtIns_);
}

void BoundedFunctions::call(sqlite3_context *context, int argc, sqlite3_value **argv) {
    const auto &binding = *static_cast<Binding *>(sqlite3_user_data(context));
    const Guard &guard = *binding.guard;
    if (guard.cost(argc, argv) > guard.budget) {
        const std::string message = std::string(guard.name) +
                                    "() refused: its values are too long for one call to end "
                                    "within the time limit";
        sqlite3_result_error(context, message.c_str(), -1);
    } else if (guard.here) {
        guard.here(context, argc, argv);
    } else {
        binding.owner->runBuiltIn(context, guard.name, argc, argv);
    }
}

void BoundedFunctions::runBuiltIn(sqlite3_context *context, const char *name, int argc,
                                  sqlite3_value **argv) {
    sqlite3_stmt *&stmt = calls_[std::string(name) + "/" + std::to_string(argc)];
    if (!stmt) {
        std::string sql = std::string("SELECT ") + name + "(";
        for (int i = 0; i < argc; ++i)
            sql += i ? ",?" : "?";
        sql += ")";
        if (sqlite3_prepare_v2(builtIns_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_result_error(context, sqlite3_errmsg(builtIns_), -1);
            return;
        }
    }
    for (int i = 0; i < argc; ++i)
        sqlite3_bind_value(stmt, i + 1, argv[i]);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        sqlite3_result_value(context, sqlite3_column_value(stmt, 0));
    else if ((rc & 0xff) == SQLITE_TOOBIG)
        sqlite3_result_error_toobig(context);
    else if ((rc & 0xff) == SQLITE_NOMEM)
        sqlite3_result_error_nomem(context);
    else
        sqlite3_result_error(context, sqlite3_errmsg(builtIns_), -1);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
}

} // namespace appserver
