// The PostgreSQL storage on a busy department (BenchDatabase): --copy-to of
// the whole file, then the five hot statements through the server on
// PostgreSQL against libpq directly (the same translated statement, every cell
// read) and against the server on SQLite. Needs a cluster:
//
//     scripts/pg-cluster build/bench/bench_pg [repeats]

#include "BenchDatabase.h"
#include "BenchMain.h"
#include "HotStatements.h"
#include "PgTestDatabase.h"
#include "ServerProcess.h"
#include "Statements.h"
#include "pg_statement.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>

#include <httplib.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

template <class Work> double medianMs(int repeats, Work work) {
    std::vector<double> millis;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        millis.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(millis.begin(), millis.end());
    return millis[millis.size() / 2];
}

int runDirect(PGconn *conn, const std::string &sql) {
    PGresult *result = PQexec(conn, sql.c_str());
    const int rows = PQntuples(result);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < PQnfields(result); ++c)
            PQgetvalue(result, r, c);
    PQclear(result);
    return rows;
}

void openSql(httplib::Client &client, const std::string &sql) {
    auto answer = client.Post("/datasnap/rest/TZelServerDataBase/OpenSQL", sql, "text/plain");
    if (!answer || answer->status != 200)
        throw std::runtime_error("the server did not answer " + sql);
}

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(3, atoi(argv[1])) : 30;
    if (!PgTestDatabase::unavailableReason().isEmpty())
        throw std::runtime_error(PgTestDatabase::unavailableReason().toStdString());

    ServerProcess onSqlite;
    sqlite3 *db = nullptr;
    sqlite3_open(onSqlite.dbPath().toUtf8().constData(), &db);
    BenchDatabase::seed(db);
    sqlite3_close(db);

    PgTestDatabase target;
    if (!target.createEmpty())
        throw std::runtime_error(target.errorText().toStdString());
    QProcess copy;
    QElapsedTimer copyTime;
    copyTime.start();
    copy.start(ServerProcess::binary(), {"--db", onSqlite.dbPath(), "--copy-to",
                                         target.ownerConnection(), "--grant-to", "solvane_server"});
    copy.waitForFinished(600000);
    const double copySeconds = copyTime.elapsed() / 1000.0;
    std::printf("--copy-to: %.1f s, exit %d\n%s", copySeconds, copy.exitCode(),
                copy.readAllStandardOutput().constData());
    PGconn *direct = PQconnectdb(target.serverConnection().toUtf8().constData());
    PQclear(PQexec(direct, "ANALYZE"));

    ServerProcess onPostgres({}, ServerProcess::Storage::Postgres);
    onPostgres.setDatabase(target.serverConnection());
    if (!onSqlite.start() || !onPostgres.start())
        throw std::runtime_error("a server did not start");
    httplib::Client sqliteClient("127.0.0.1", onSqlite.port());
    httplib::Client pgClient("127.0.0.1", onPostgres.port());
    sqliteClient.set_keep_alive(true);
    pgClient.set_keep_alive(true);
    // A request goes out in two writes; without this each waits for a delayed ACK.
    sqliteClient.set_tcp_nodelay(true);
    pgClient.set_tcp_nodelay(true);

    const QString name = BenchDatabase::memberName(7);
    const auto statements = HotStatements::forMember(name);
    std::printf("\n%-20s %6s %12s %12s %8s %12s %8s\n", "statement", "rows", "libpq med",
                "server/pg", "pg/libpq", "server/sqlite", "pg/sqlite");
    for (const auto &[label, sql] : statements) {
        const std::string translated =
            appserver::translateForPostgres(appserver::Method::OpenSQL, sql.toStdString()).text;
        const int rows = runDirect(direct, translated);
        const double libpq = medianMs(repeats, [&] { runDirect(direct, translated); });
        const double pg = medianMs(repeats, [&] { openSql(pgClient, sql.toStdString()); });
        const double lite = medianMs(repeats, [&] { openSql(sqliteClient, sql.toStdString()); });
        std::printf("%-20s %6d %9.3f ms %9.3f ms %8.2f %9.3f ms %8.2f\n", label, rows, libpq, pg,
                    pg / libpq, lite, pg / lite);
    }
    PQfinish(direct);
    onPostgres.stop();
    onSqlite.stop();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
