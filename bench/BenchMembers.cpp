// Every member at its own lists on the busy department: N members taking
// turns at their own task lists, as the main window asks them (p50 and p99
// of each request, and what the server holds afterwards); then, after one
// task dispatched, all 50 members reloading their task lists with the tags
// of the lists they hold, as the main window does when the live feed tells
// it of the change: the server's CPU for those 50 requests against the same
// 50 statements run in process. With --reference, the same for another build
// of the server, in turns with this one. With --postgres, on a PostgreSQL
// copy of the department (on the cluster SOLVANE_TEST_PG names), the server's
// CPU counted with its database connections' and the 50 statements run in
// process through the server's own PostgreSQL session:
//
//     [scripts/pg-cluster] bench_members [--postgres]
//                   [--reference PATH-TO-OLDER-solvane-server] [turns, default 400]
//                   [--dispatches N, default 10]

#include "data/statements/Statements.h"
#include "harness/BenchDatabase.h"
#include "harness/PostgresCopy.h"
#include "harness/BenchMain.h"
#include "harness/ServerUse.h"
#include "protocol/RowChanges.h"
#include "storage/postgres/PgConnection.h"
#include "storage/postgres/PgStatement.h"
#include "storage/postgres/PgStorage.h"
#include "support/PgSpelling.h"
#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <httplib.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string kOpenSql = "/datasnap/rest/TZelServerDataBase/OpenSQL";
const std::string kExecSql = "/datasnap/rest/TZelServerDataBase/ExecSQL";

std::string taskListOf(int member) {
    const QString name = BenchDatabase::memberName(member);
    return Statements::selectMemberTasks(name, name).toStdString();
}

double millisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(double(values.size()) * p))];
}

// Each member's own connection, as each member's client holds one.
struct MemberClient {
    std::unique_ptr<httplib::Client> client;
    std::string tag; // of the task list it holds
};

std::vector<MemberClient> membersOf(const ServerProcess &server) {
    std::vector<MemberClient> members(BenchDatabase::kMembers);
    for (int m = 0; m < BenchDatabase::kMembers; ++m) {
        members[size_t(m)].client =
            std::make_unique<httplib::Client>(server.host().toStdString(), server.port());
        members[size_t(m)].client->set_basic_auth(BenchDatabase::loginName(m).toStdString(), "pw");
        members[size_t(m)].client->set_keep_alive(true);
        members[size_t(m)].client->set_tcp_nodelay(true);
        members[size_t(m)].client->set_read_timeout(std::chrono::seconds(30));
    }
    return members;
}

// The task list asked whole, as a member's client asks it at login; -1 on a failure.
double askWhole(MemberClient &member, int index) {
    const auto start = Clock::now();
    auto answer = member.client->Post(kOpenSql, taskListOf(index), "text/plain");
    const double millis = millisSince(start);
    if (!answer || answer->status != 200)
        return -1;
    member.tag = answer->get_header_value("ETag");
    return millis;
}

// A member's own lists as the main window asks them: the project list, the
// task list and the reminder's two counts; the mean and the largest member's
// JSON in all, in bytes.
std::pair<size_t, size_t> ownListBytes(std::vector<MemberClient> &members) {
    size_t total = 0, largest = 0;
    for (int m = 0; m < int(members.size()); ++m) {
        const QString name = BenchDatabase::memberName(m);
        size_t own = 0;
        for (const QString &sql :
             {Statements::selectMemberProjects(name, name), Statements::selectMemberTasks(name, name),
              Statements::openProjectsOf(name), Statements::unfinishedTasksOf(name)})
            if (auto answer = members[size_t(m)].client->Post(kOpenSql, sql.toStdString(),
                                                              "text/plain"))
                own += answer->body.size();
        total += own;
        largest = std::max(largest, own);
    }
    return {total / std::max<size_t>(1, members.size()), largest};
}

struct Turns {
    double p50 = 0, p99 = 0;
    int failures = 0;
};

// members take turns, each asking its own task list whole, for turns turns.
Turns takeTurns(std::vector<MemberClient> &members, int count, int turns) {
    std::vector<double> millis;
    Turns result;
    for (int t = 0; t < turns; ++t) {
        const double one = askWhole(members[size_t(t % count)], t % count);
        if (one < 0)
            ++result.failures;
        else
            millis.push_back(one);
    }
    result.p50 = percentile(millis, 0.5);
    result.p99 = percentile(millis, 0.99);
    return result;
}

// A task of project dispatched by member n, related to the next two members,
// as the dispatch window adds it.
bool dispatch(MemberClient &dispatcher, const QString &project, int n) {
    Task task;
    task.projectId = project;
    task.content = QStringLiteral("派发任务 %1").arg(n);
    task.dispatcher = BenchDatabase::memberName(n % BenchDatabase::kMembers);
    task.performer = QString();
    task.createTime = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss");
    task.dueTime = QDateTime::currentDateTime().addDays(3).toString("yyyy-MM-dd HH:mm:ss");
    task.state = QStringLiteral("0");
    task.relatedPersons = BenchDatabase::memberName((n + 1) % BenchDatabase::kMembers) + "|" +
                          BenchDatabase::memberName((n + 2) % BenchDatabase::kMembers);
    auto answer = dispatcher.client->Post(kExecSql, Statements::addTask(task).toStdString(),
                                          "text/plain");
    return answer && answer->status == 200 &&
           answer->body.find("\"result\":true") != std::string::npos;
}

// The CPU the server's PostgreSQL connections have used so far; none on SQLite.
double databaseSeconds(PgTestDatabase *postgres) {
    if (!postgres)
        return 0;
    double seconds = 0;
    for (const QString &pid : postgres->queryAsOwner(
             "SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND "
             "usename <> current_user"))
        seconds += serverUse(pid.toLongLong()).cpuSeconds;
    return seconds;
}

struct AfterDispatch {
    double serverSeconds = 0; // CPU, the 50 reloads of all dispatches
    double wallSeconds = 0;
    double databaseSeconds = 0; // of those, the database connections' CPU
    int whole = 0, rowChanges = 0, unchanged = 0, failures = 0;
};

// After each dispatch, every member reloads its task list with the tag of
// the one it holds, as the main window asks after the live feed told it.
AfterDispatch reloadAfterDispatches(std::vector<MemberClient> &members, qint64 pid,
                                    PgTestDatabase *postgres, const QString &project,
                                    int dispatches) {
    AfterDispatch result;
    for (int d = 0; d < dispatches; ++d) {
        if (!dispatch(members[size_t(d % BenchDatabase::kMembers)], project, d)) {
            ++result.failures;
            continue;
        }
        const double databaseBefore = databaseSeconds(postgres);
        const double before = serverUse(pid).cpuSeconds + databaseBefore;
        const auto start = Clock::now();
        for (size_t m = 0; m < members.size(); ++m) {
            httplib::Headers headers{{"If-None-Match", members[m].tag},
                                     {"A-IM", RowChanges::kManipulation}};
            auto answer =
                members[m].client->Post(kOpenSql, headers, taskListOf(int(m)), "text/plain");
            if (!answer) {
                ++result.failures;
                continue;
            }
            switch (answer->status) {
            case 200:
                ++result.whole;
                break;
            case 226:
                ++result.rowChanges;
                break;
            case 304:
                ++result.unchanged;
                break;
            default:
                ++result.failures;
                continue;
            }
            if (answer->status != 304)
                members[m].tag = answer->get_header_value("ETag");
        }
        result.wallSeconds += millisSince(start) / 1000;
        const double databaseAfter = databaseSeconds(postgres);
        result.databaseSeconds += databaseAfter - databaseBefore;
        result.serverSeconds += serverUse(pid).cpuSeconds + databaseAfter - before;
    }
    return result;
}

// The 50 task lists run in process, every cell read as text, as the server
// reads them: the statements' own work.
double inProcessSeconds(const QString &dbPath, int repeats, QString &someProject) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *first = nullptr;
    sqlite3_prepare_v2(db, "SELECT ProId FROM Programe LIMIT 1", -1, &first, nullptr);
    if (sqlite3_step(first) == SQLITE_ROW)
        someProject = QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(first, 0)));
    sqlite3_finalize(first);
    double best = 1e9;
    for (int r = 0; r < repeats; ++r) {
        const auto start = Clock::now();
        for (int m = 0; m < BenchDatabase::kMembers; ++m) {
            const std::string sql = taskListOf(m);
            sqlite3_stmt *stmt = nullptr;
            sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &stmt, nullptr);
            const int columns = sqlite3_column_count(stmt);
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int i = 0; i < columns; ++i)
                    sqlite3_column_text(stmt, i);
            sqlite3_finalize(stmt);
        }
        best = std::min(best, millisSince(start) / 1000);
    }
    sqlite3_close(db);
    return best;
}

// The same on PostgreSQL as translated alone, without the order the server
// gives the rows the lists' order leaves tied.
double inProcessSecondsUntied(const QString &conninfo, int repeats) {
    appserver::PgConnPtr conn = appserver::connectPostgres(conninfo.toStdString());
    double best = 1e9;
    for (int r = 0; r < repeats; ++r) {
        const auto start = Clock::now();
        for (int m = 0; m < BenchDatabase::kMembers; ++m) {
            const auto read = appserver::translateForPostgres(appserver::Method::OpenSQL,
                                                              taskListOf(m));
            appserver::PgResultPtr rows(PQexec(conn.get(), read.text.c_str()));
            for (int i = 0; i < PQntuples(rows.get()); ++i)
                for (int c = 0; c < PQnfields(rows.get()); ++c)
                    PQgetvalue(rows.get(), i, c);
        }
        best = std::min(best, millisSince(start) / 1000);
    }
    return best;
}

// The same on PostgreSQL, through the server's own session (its spelling,
// its order) in process.
double inProcessSecondsOnPostgres(const QString &conninfo, int repeats) {
    appserver::PgStorage storage(conninfo.toStdString());
    const auto session = storage.openSession();
    double best = 1e9;
    for (int r = 0; r < repeats; ++r) {
        const auto start = Clock::now();
        for (int m = 0; m < BenchDatabase::kMembers; ++m) {
            appserver::DiscardRows rows;
            session->beginRequest();
            session->run(appserver::Method::OpenSQL, taskListOf(m), rows);
        }
        best = std::min(best, millisSince(start) / 1000);
    }
    return best;
}

} // namespace

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    QString reference;
    int turns = 400, dispatches = 10;
    bool postgres = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--postgres")
            postgres = true;
        else if (arg == "--reference" && i + 1 < argc)
            reference = argv[++i];
        else if (arg == "--dispatches" && i + 1 < argc)
            dispatches = std::max(1, atoi(argv[++i]));
        else
            turns = std::max(50, atoi(argv[i]));
    }
    QTemporaryDir dir;
    const QString dbPath = dir.filePath("bench.db");
    BenchDatabase::seedFile(dbPath);
    QString project;
    double statements = inProcessSeconds(dbPath, 3, project);
    PgTestDatabase onPostgres;
    if (postgres) {
        if (!PostgresCopy::copyDepartment(dbPath, onPostgres))
            return 1;
        statements = inProcessSecondsOnPostgres(onPostgres.serverConnection(), 5);
    }
    std::printf("the 50 members' task lists in process%s: %.1f ms\n",
                postgres ? " on PostgreSQL" : "", statements * 1000);
    if (postgres)
        std::printf("the same without the order of their ties: %.1f ms\n",
                    inProcessSecondsUntied(onPostgres.serverConnection(), 5) * 1000);

    const std::vector<int> counts = {8, 16, 24, 32, 50};
    std::printf("\n%-9s %-24s %9s %9s %9s\n", "server", "members taking turns", "p50", "p99",
                "failures");
    auto measure = [&](const QString &binary, const char *label) {
        ServerProcess server({"--per-address", "0", "--reader-share", "100000"},
                             postgres ? ServerProcess::Storage::Postgres
                                      : ServerProcess::Storage::Sqlite);
        server.setDatabase(postgres ? onPostgres.serverConnection() : dbPath);
        if (!binary.isEmpty())
            server.setBinary(binary);
        if (!server.start()) {
            std::fprintf(stderr, "server did not start: %s\n", qPrintable(server.errorText()));
            return false;
        }
        std::vector<MemberClient> members = membersOf(server);
        const auto [mean, largest] = ownListBytes(members);
        std::printf("%-9s a member's own lists: %zu KiB (the largest %zu KiB)\n", label,
                    mean >> 10, largest >> 10);
        for (int m = 0; m < BenchDatabase::kMembers; ++m)
            askWhole(members[size_t(m)], m); // every member logged in once
        for (int count : counts) {
            const Turns result = takeTurns(members, count, std::max(turns, 4 * count));
            std::printf("%-9s %-24d %6.2f ms %6.2f ms %9d\n", label, count, result.p50, result.p99,
                        result.failures);
        }
        const ServerUse held = serverUse(server.pid());
        const AfterDispatch after = reloadAfterDispatches(
            members, server.pid(), postgres ? &onPostgres : nullptr, project, dispatches);
        std::printf("%-9s after one dispatch, the 50 task lists: %.2f x the statements in process "
                    "(%.1f ms of server CPU%s, %.1f ms of it the database's, %.1f ms in all; %d "
                    "whole, %d row changes, "
                    "%d unchanged, %d failed); server RSS %ld MiB after the turns\n",
                    label, after.serverSeconds / dispatches / statements,
                    after.serverSeconds / dispatches * 1000,
                    postgres ? " with its connections'" : "",
                    after.databaseSeconds / dispatches * 1000, after.wallSeconds / dispatches * 1000, after.whole, after.rowChanges,
                    after.unchanged, after.failures, held.rssKiB / 1024);
        server.stop();
        // The next server starts from the same department.
        if (postgres) {
            onPostgres.execAsOwner(
                inPostgresSpelling("DELETE FROM Task WHERE TaskContent LIKE '派发任务 %'"));
            return true;
        }
        sqlite3 *db = nullptr;
        if (sqlite3_open(dbPath.toUtf8().constData(), &db) == SQLITE_OK)
            sqlite3_exec(db, "DELETE FROM Task WHERE TaskContent LIKE '派发任务 %'", nullptr,
                         nullptr, nullptr);
        sqlite3_close(db);
        return true;
    };
    if (!measure(QString(), "this"))
        return 1;
    if (!reference.isEmpty() && !measure(reference, "reference"))
        return 1;
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
