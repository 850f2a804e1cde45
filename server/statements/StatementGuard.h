#pragma once
// Decides, while SQLite compiles a statement, whether each thing it would do
// is allowed for the server method that received it.

#include "statements/ServerMethods.h"

#include <string>
#include <vector>

namespace appserver {

struct GuardState {
    Method method = Method::OpenSQL;
    std::string denial; // why the last denied action was denied
    // The tables the statements compiled since the last clear read and change
    // (one entry per column read, so with repeats): what decides which
    // answers a change makes stale.
    std::vector<std::string> read;
    std::vector<std::string> changed;
    // A date or time function may read the clock: the answer then depends on more than the data.
    bool readsClock = false;
};

// An sqlite3_set_authorizer callback; its user data is a GuardState.
int authorizeClientAction(void *guardState, int action, const char *arg1, const char *arg2,
                          const char *database, const char *trigger);

} // namespace appserver
