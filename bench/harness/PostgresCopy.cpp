#include "harness/PostgresCopy.h"

#include "support/ServerProcess.h"

#include <QProcess>

#include <cstdio>

namespace PostgresCopy {

bool copyDepartment(const QString &sqlitePath, PgTestDatabase &into) {
    if (!PgTestDatabase::unavailableReason().isEmpty() || !into.createEmpty()) {
        std::fprintf(stderr, "no PostgreSQL: %s%s\n",
                     qPrintable(PgTestDatabase::unavailableReason()), qPrintable(into.errorText()));
        return false;
    }
    QProcess copy;
    copy.start(ServerProcess::binary(),
               {"--db", sqlitePath, "--copy-to", into.ownerConnection(), "--grant-to",
                qEnvironmentVariable("SOLVANE_TEST_PG_ROLE", "solvane_server")});
    if (!copy.waitForFinished(600000) || copy.exitCode() != 0) {
        std::fprintf(stderr, "--copy-to failed: %s\n", copy.readAllStandardError().constData());
        return false;
    }
    into.execAsOwner("VACUUM ANALYZE \"Login\", \"Programe\", \"Task\", \"Notice\"");
    return true;
}

} // namespace PostgresCopy
