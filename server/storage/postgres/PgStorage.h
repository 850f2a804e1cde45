#pragma once
// PostgreSQL behind the Storage interface. Each session is one connection as
// the server's role; the workers own one each, so the pool is bounded by the
// workers, as with SQLite. Statements are translated from the client's SQLite
// dialect first (pg_statement.h), and reads run in read-only transactions.

#include "storage/Storage.h"
#include "storage/postgres/PgPanel.h"
#include "storage/postgres/PgRowLog.h"

#include <string>

namespace appserver {

struct PgLimits {
    int statementMillis = 3000;           // a query running longer is stopped
    int writeMillis = 1000;               // a change running longer is stopped
    int idleInTransactionMillis = 10000;  // a session never holds one; a safety net
};

class PgStorage : public Storage {
public:
    // Checks that the tables can be read; throws std::runtime_error otherwise.
    PgStorage(std::string conninfo, PgLimits limits = {});
    std::unique_ptr<Session> openSession() override;

private:
    std::string conninfo_;
    PgLimits limits_;
    PgSnapshots snapshots_; // of the panels read at a version, for bringing them up to date
    PgRowLog rowLog_;       // the rows this server's changes made, for the members' own lists
    bool journal_ = false;  // the database has the journal of changes
    bool rowsCopied_ = false; // the database copies the rows a change makes, when asked
};

} // namespace appserver
