#pragma once
// A record set's row as a record, by column position (whole-row selects give
// the table's column order). Values as stored; trimming is the caller's.

#include "data/statements/Records.h"

class RecordSet;

namespace RecordRows {

// Missing columns read as empty.
Project projectAt(const RecordSet &rows, int row);
Task taskAt(const RecordSet &rows, int row);
// Each field with its surrounding blanks removed, as the windows copy rows.
Project trimmed(Project project);
Task trimmed(Task task);

} // namespace RecordRows
