#pragma once
// What the journal notes of a change a member asked for: the kind of change
// (create, re-edit, node, complete, delete, dispatch, claim, apply, reject,
// agree, read, member), who made it and when, the key of its row, and each
// column it changed with the values before and after. The rows are read in
// the change's own transaction, so the journal tells what the change did,
// not what its statement asked. Passwords are never noted.

#include "protocol/StatementShapes.h"
#include "storage/Storage.h"

#include <memory>
#include <string>
#include <vector>

namespace appserver {

struct JournalAuthor {
    std::string login; // as stored
    std::string name;  // the display name, as stored
};

// The notes for a statement of this kind with these quoted values; null for
// a statement the journal does not keep (notices, the task count, queries).
std::unique_ptr<ChangeNotes> journalNotes(StatementShapes::Kind kind,
                                          const std::vector<std::string> &values,
                                          JournalAuthor author);

// Local time as stored times are written: "yyyy-MM-dd HH:mm:ss".
std::string journalTime(long long secondsSinceEpoch);

} // namespace appserver
