#pragma once
// After a change whose answer was lost: whether the server stored it, read
// back by the row's key, so that a change carried out carries on as one and
// a change not carried out can be made again without doubling anything.

#include "Records.h"

namespace ReadBack {

enum class Stored {
    Yes,     // a row with this key holds exactly these values
    No,      // no row with this key holds them
    Unknown, // the rows could not be read either
};

// Whether two records hold the same values, compared as the windows enter
// them: trimmed.
bool same(const Project &a, const Project &b);
bool same(const Task &a, const Task &b);

// The project with this number.
Stored project(const Project &project);
// The task with this key (project, content, dispatcher).
Stored task(const Task &task);

} // namespace ReadBack
