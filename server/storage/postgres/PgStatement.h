#pragma once
// The client's statements are written for SQLite. PostgreSQL runs the same
// statements once a few spellings are changed: names are quoted in the tables'
// own spelling (PostgreSQL would fold them to lower case), LIKE becomes ILIKE
// without an escape character, login names compare without ASCII letter case,
// and "delete T Where" gains its FROM. The same pass decides whether the
// statement is one the server runs at all, as SQLite's authorizer does for the
// SQLite storage.

#include "storage/Storage.h"

#include <string>

namespace appserver {

struct PgStatement {
    Outcome outcome = Outcome::Ok; // Ok, Empty or Refused
    std::string text;              // the statement for PostgreSQL, when Ok
    std::string error;             // why not, otherwise
    // The client tables the statement names (bit i for kClientTables[i]).
    unsigned tablesNamed = 0;
    // True when the answer of a read depends on those tables' rows alone: it
    // reads no other table, nor the clock, nor who the session is.
    bool answerFollowsTables = false;
};

PgStatement translateForPostgres(Method method, const std::string &sql);

} // namespace appserver
