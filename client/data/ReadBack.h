#pragma once
// After a change whose answer was lost: whether the server made it, read
// back by the row's key, so that a change carried out carries on as one and
// a change not carried out can be made again without doubling anything.

#include "data/statements/Records.h"

namespace ReadBack {

enum class Stored {
    Yes,     // the rows read back show the change made
    No,      // they show it not made
    Unknown, // the rows could not be read either
};

// Whether two records hold the same values, compared as the windows enter
// them: trimmed.
bool same(const Project &a, const Project &b);
bool same(const Task &a, const Task &b);

// A project with this number holds exactly these values.
Stored project(const Project &project);
// No project has this number any more.
Stored projectGone(const QString &projectId);
// A task with this key (project, content, dispatcher) holds exactly these values.
Stored task(const Task &task);
// A member with this login and password has this display name.
Stored member(const Member &member);

} // namespace ReadBack
