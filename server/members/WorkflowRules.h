#pragma once
// The rules of projects and tasks that depend on stored rows: who may
// create, complete, delete or re-edit a project, dispatch a task, move it from
// one state to the next or sign its read receipt. They are read inside the
// change's own transaction, so nothing changes between the check and the
// statement.

#include "members/MemberDirectory.h"
#include "protocol/StatementShapes.h"
#include "storage/Storage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace appserver {

// Each member's notices of the panel's days together hold at most this.
constexpr int kNoticeDays = 15;
constexpr size_t kNoticeBytesPerMember = 256 << 10;

// The rule for a statement of this kind carrying these values (its quoted
// literals in order), or nothing when the kind needs no stored rows.
std::optional<ChangeRule> workflowRule(const Caller &caller, StatementShapes::Kind kind,
                                       const std::vector<std::string> &values);

} // namespace appserver
