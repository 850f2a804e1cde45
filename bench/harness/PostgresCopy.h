#pragma once
// The benchmark department on PostgreSQL: a fresh database on the cluster
// SOLVANE_TEST_PG names, filled from the department's SQLite file by the
// server's own --copy-to, and vacuumed, so that no autovacuum during a
// measure makes later reads cheaper than earlier ones.

#include "support/PgTestDatabase.h"

#include <QString>

namespace PostgresCopy {

// False, with the reason on stderr, when there is no cluster or the copy failed.
bool copyDepartment(const QString &sqlitePath, PgTestDatabase &into);

} // namespace PostgresCopy
