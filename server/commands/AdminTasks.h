#pragma once
// What the operator does from the command line rather than through a client.

#include "storage/sqlite/SqliteStorage.h"

#include <string>

namespace appserver {

// Inserts a member; throws std::runtime_error with a readable message when the
// login name is taken or the database refuses.
void addMember(const SqliteStorage &storage, const std::string &useName,
               const std::string &password, const std::string &remark);

// Fills an empty database with the demo department; returns false and leaves
// the database alone when it holds any row already.
bool seedDemo(const SqliteStorage &storage);

} // namespace appserver
