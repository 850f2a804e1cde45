#pragma once
// solvane-server --history PROJECT: the journal's entries of a project and
// its tasks, newest first, one line each, for an administrator.

#include "storage/Storage.h"

#include <cstdio>
#include <string>

namespace appserver {

// Prints the history to out; returns the number of entries.
long long printHistory(Storage &storage, const std::string &project, std::FILE *out);

} // namespace appserver
