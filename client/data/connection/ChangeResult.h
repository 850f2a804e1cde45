#pragma once
// The server's answer to one INSERT, UPDATE or DELETE: whether the database
// took the statement, and how many rows it changed. A statement that matched
// no row is taken with no change; only a caller knows whether that is fine.

#include <string>

struct ChangeResult {
    bool succeeded = false;
    long long changes = 0;
    // Why the server said no, as it said it, and its stable code for it;
    // empty otherwise.
    std::string refusal;
    std::string code;
};
