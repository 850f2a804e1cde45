#pragma once
// SQLite checks a statement's time limit between rows, never inside a function
// call, and a few functions can take far longer than the length of their
// values suggests: pattern searches compare every position against the whole
// pattern, and printf() repeats a character as often as asked even past the
// length cap. These are replaced on a session's connection by guards that
// estimate a call's worst case from its arguments, refuse it when that is
// more than one call may cost, and otherwise let SQLite's own function do the
// work, so the answers stay exactly SQLite's.

#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_context;
struct sqlite3_value;

namespace appserver {

class BoundedFunctions {
public:
    // Registers the guards on db; throws std::runtime_error when it cannot.
    explicit BoundedFunctions(sqlite3 *db);
    ~BoundedFunctions();
    BoundedFunctions(const BoundedFunctions &) = delete;
    BoundedFunctions &operator=(const BoundedFunctions &) = delete;

    struct Guard;

private:
    static void call(sqlite3_context *context, int argc, sqlite3_value **argv);
    // Runs the built-in function of that name on the private connection.
    void runBuiltIn(sqlite3_context *context, const char *name, int argc, sqlite3_value **argv);

    struct Binding {
        BoundedFunctions *owner;
        const Guard *guard;
    };
    std::vector<std::unique_ptr<Binding>> bindings_;
    sqlite3 *builtIns_ = nullptr; // in memory, with SQLite's functions untouched
    std::map<std::string, sqlite3_stmt *> calls_; // "SELECT name(?1,...)" by name and count
};

} // namespace appserver
