#pragma once
// What a member may run: only the statements the client composes, and of
// the Login table only what the member window would show or change for that
// member. The privileged login names see and add every member; everybody
// reads every member's display name, reads and changes only the own row.
// Login and display names keep to MemberNames, are unique as a person reads
// them, and only the privileged take a privileged login name (or one that
// looks like it); a notice is dated no later than now and signed by the
// caller; values keep to ValueLimits. Projects, tasks and each member's
// share of the notices follow the rules of WorkflowRules.

#include "members/MemberDirectory.h"
#include "storage/Storage.h"

#include <optional>
#include <string>

namespace appserver {

struct Verdict {
    std::optional<Refusal> refusal; // set: answer 403 with it
    bool changesLogin = false;      // the directory is stale once it has run
    std::string shape;              // the statement with its values left out
    // Set: of the rows the statement reads, the caller gets only those whose
    // UseName is this login name; the answer is for that caller alone.
    std::optional<std::string> onlyRowsOf;
    // Set: the change runs only if this rule, read from the stored rows in
    // the change's own transaction, finds nothing against it.
    std::optional<ChangeRule> rule;
    // A re-edit: a deletion and an insertion sent as one, kept both or neither.
    bool isReplacement = false;
};

// anyStatement lets privileged members run statements of other shapes, which
// only the guard then limits (an operator's choice for tools other than the
// client).
// An accepted statement's verdict carries its shape.
Verdict judge(const Caller &caller, const std::string &statement, bool anyStatement,
              MemberDirectory &members);

} // namespace appserver
