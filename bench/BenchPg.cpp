// The PostgreSQL storage on a busy department (BenchDatabase): --copy-to of
// the whole file, then the five hot statements through the server on
// PostgreSQL against libpq directly (the same translated statement, every cell
// read) and against the server on SQLite: first fresh (each request a text the
// server has not answered, so nothing is reused), then repeated with the
// previous answer's tag (304). Last, what telling whether an answer may be
// reused costs: reading the change counters before each statement, against
// keeping them in memory from LISTEN/NOTIFY. Needs a cluster:
//
//     scripts/pg-cluster build/bench/bench_pg [repeats] [--explain]
//
// --explain prints PostgreSQL's plan of each statement, as run, first.

#include "data/statements/Statements.h"
#include "harness/BenchClient.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "harness/HotStatements.h"
#include "storage/postgres/PgStatement.h"
#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>

#include <httplib.h>
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

template <class Work> double medianMs(int repeats, Work work) {
    std::vector<double> millis;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work(i);
        millis.push_back(timer.nsecsElapsed() / 1e6);
    }
    return BenchClient::median(millis);
}

void explain(PGconn *conn, const char *label, const std::string &sql) {
    PGresult *plan = PQexec(conn, ("EXPLAIN (ANALYZE, BUFFERS) " + sql).c_str());
    std::printf("\n%s: %s\n", label, sql.c_str());
    for (int r = 0; r < PQntuples(plan); ++r)
        std::printf("  %s\n", PQgetvalue(plan, r, 0));
    if (PQresultStatus(plan) != PGRES_TUPLES_OK)
        std::printf("  %s", PQerrorMessage(conn));
    PQclear(plan);
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

// The answer's entity tag; throws unless the status is the one expected.
std::string openSql(httplib::Client &client, const std::string &sql, const std::string &etag = {},
                    int expected = 200) {
    httplib::Headers headers;
    if (!etag.empty())
        headers.emplace("If-None-Match", etag);
    auto answer =
        client.Post("/datasnap/rest/TZelServerDataBase/OpenSQL", headers, sql, "text/plain");
    if (!answer || answer->status != expected)
        throw std::runtime_error("the server did not answer " + std::to_string(expected) + " to " +
                                 sql);
    return answer->get_header_value("ETag");
}

// The same statement in a text the server has not seen (trailing spaces), so
// its answer is not taken from the cache: what a statement costs after a change.
std::string unseen(const std::string &sql) {
    static int spaces = 0;
    return sql + std::string(size_t(++spaces), ' ');
}

double microsPerCall(PGconn *conn, const char *statement, int repeats) {
    return 1000 * medianMs(repeats * 50, [&](int) {
               PQclear(PQexecPrepared(conn, statement, 0, nullptr, nullptr, nullptr, 0));
           });
}

void execOrThrow(PGconn *conn, const char *sql) {
    PGresult *result = PQexec(conn, sql);
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(std::string(sql) + ": " + PQerrorMessage(conn));
}

// Reading the counters per request against LISTEN/NOTIFY: the listener's
// counters cost nothing to read, but a notification arrives after the
// writer's commit returns, so for a while another server answers from
// counters that do not know the change yet.
void compareWithNotify(const std::string &conninfo, int repeats) {
    PGconn *reader = PQconnectdb(conninfo.c_str());
    PGconn *writer = PQconnectdb(conninfo.c_str());
    PGconn *listener = PQconnectdb(conninfo.c_str());
    PQclear(PQprepare(reader, "counters", "SELECT table_name, counter FROM solvane_changes", 0,
                      nullptr));
    PQclear(PQprepare(reader, "nothing", "SELECT 1", 0, nullptr));
    const double counters = microsPerCall(reader, "counters", repeats);
    const double roundTrip = microsPerCall(reader, "nothing", repeats);

    execOrThrow(listener, "LISTEN solvane_changes");
    std::vector<double> delays;
    int alreadyThere = 0;
    for (int i = 0; i < repeats * 10; ++i) {
        execOrThrow(writer, "NOTIFY solvane_changes, 'Task'");
        QElapsedTimer sinceCommit;
        sinceCommit.start();
        bool first = true;
        for (;;) {
            PQconsumeInput(listener);
            if (PGnotify *note = PQnotifies(listener)) {
                PQfreemem(note);
                break;
            }
            first = false;
            pollfd wait{PQsocket(listener), POLLIN, 0};
            poll(&wait, 1, 1000);
        }
        delays.push_back(sinceCommit.nsecsElapsed() / 1e3);
        alreadyThere += first;
    }
    std::sort(delays.begin(), delays.end());
    std::printf("\n%-44s %10s\n", "telling whether an answer may be reused", "median");
    std::printf("%-44s %7.1f us\n", "read the counters (one prepared query)", counters);
    std::printf("%-44s %7.1f us\n", "  a bare round trip (SELECT 1)", roundTrip);
    // Bounded by the clock read around it.
    std::mutex mutex;
    const std::map<std::string, long long> kept = {{"Login", 1}, {"Programe", 2}, {"Task", 3}};
    long long seen = 0;
    const double inMemory = 1000 * medianMs(repeats * 50, [&](int) {
                                std::lock_guard<std::mutex> lock(mutex);
                                seen += kept.at("Task");
                            });
    std::printf("%-44s %7.3f us\n", "LISTEN/NOTIFY: counters kept in memory (<=)", inMemory);
    std::printf("%-44s %7.1f us (p90 %.1f us, max %.1f us)\n",
                "  notification after the writer's commit", delays[delays.size() / 2],
                delays[delays.size() * 9 / 10], delays.back());
    std::printf("%-44s %6d of %zu\n", "  there already when the commit returned", alreadyThere,
                delays.size());
    PQfinish(listener);
    PQfinish(writer);
    PQfinish(reader);
    if (seen == 0)
        throw std::runtime_error("the kept counters were not read");
}

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(3, atoi(argv[1])) : 30;
    const bool explaining = argc > 2 && std::strcmp(argv[2], "--explain") == 0;
    if (!PgTestDatabase::unavailableReason().isEmpty())
        throw std::runtime_error(PgTestDatabase::unavailableReason().toStdString());

    ServerProcess onSqlite;
    BenchDatabase::seedFile(onSqlite.dbPath());

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
    // --copy-to gathered the statistics: the planner sees what an operator's server sees.
    PGconn *direct = PQconnectdb(target.serverConnection().toUtf8().constData());

    ServerProcess onPostgres({}, ServerProcess::Storage::Postgres);
    onPostgres.setDatabase(target.serverConnection());
    if (!onSqlite.start() || !onPostgres.start())
        throw std::runtime_error("a server did not start");
    httplib::Client sqliteClient("127.0.0.1", onSqlite.port());
    httplib::Client pgClient("127.0.0.1", onPostgres.port());
    sqliteClient.set_keep_alive(true);
    pgClient.set_keep_alive(true);
    const std::string login = BenchDatabase::loginName(7).toStdString();
    sqliteClient.set_basic_auth(login, "pw");
    pgClient.set_basic_auth(login, "pw");
    // A request goes out in two writes; without this each waits for a delayed ACK.
    sqliteClient.set_tcp_nodelay(true);
    pgClient.set_tcp_nodelay(true);

    const QString name = BenchDatabase::memberName(7);
    const auto statements = HotStatements::forMember(name);
    if (explaining)
        for (const auto &[label, sql] : statements)
            explain(direct, label,
                    appserver::translateForPostgres(appserver::Method::OpenSQL, sql.toStdString())
                        .text);
    std::printf("\n%-20s %6s %12s %12s %8s %12s %8s\n", "fresh statement", "rows", "libpq med",
                "server/pg", "pg/libpq", "server/sqlite", "pg/sqlite");
    for (const auto &[label, sql] : statements) {
        const std::string text = sql.toStdString();
        const std::string translated =
            appserver::translateForPostgres(appserver::Method::OpenSQL, text).text;
        const int rows = runDirect(direct, translated);
        openSql(pgClient, unseen(text));
        openSql(sqliteClient, unseen(text));
        const double libpq = medianMs(repeats, [&](int) { runDirect(direct, translated); });
        const double pg = medianMs(repeats, [&](int) { openSql(pgClient, unseen(text)); });
        const double lite = medianMs(repeats, [&](int) { openSql(sqliteClient, unseen(text)); });
        std::printf("%-20s %6d %9.3f ms %9.3f ms %8.2f %9.3f ms %8.2f\n", label, rows, libpq, pg,
                    pg / libpq, lite, pg / lite);
    }

    // "kept 200": asked again without the tag, the answer comes whole from the
    // server's cache: what sending it costs, with no statement run.
    std::printf("\n%-20s %12s %12s %8s %12s %12s\n", "repeated", "304 pg", "304 sqlite",
                "pg/sqlite", "kept 200 pg", "kept sqlite");
    for (const auto &[label, sql] : statements) {
        const std::string text = sql.toStdString();
        const std::string pgTag = openSql(pgClient, text);
        const std::string liteTag = openSql(sqliteClient, text);
        const double pg = medianMs(repeats, [&](int) { openSql(pgClient, text, pgTag, 304); });
        const double lite =
            medianMs(repeats, [&](int) { openSql(sqliteClient, text, liteTag, 304); });
        const double pgKept = medianMs(repeats, [&](int) { openSql(pgClient, text); });
        const double liteKept = medianMs(repeats, [&](int) { openSql(sqliteClient, text); });
        std::printf("%-20s %9.3f ms %9.3f ms %8.2f %9.3f ms %9.3f ms\n", label, pg, lite, pg / lite,
                    pgKept, liteKept);
    }
    compareWithNotify(target.serverConnection().toStdString(), repeats);
    PQfinish(direct);
    onPostgres.stop();
    onSqlite.stop();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
