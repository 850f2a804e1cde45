#pragma once
// Rebuilds a query's rows from the earlier answer the client kept and the
// rows the server says changed since: the earlier first and last rows stay
// where they were, the changed rows go between them.

#include "data/answers/DataPacket.h"

#include <cstddef>

// Null when the two do not fit together: other columns, or more rows kept
// than the earlier answer had. The rows are shared with both, not copied.
PDataPacket withChangedRows(const PDataPacket &earlier, size_t keptFront, size_t keptBack,
                            const PDataPacket &changed);
