// What a pick on the statistics tab costs on a busy department's database
// (50,000 tasks): the member's year asked through the server, right after a
// change to the tasks (the statement runs and its answer is parsed) and
// again with nothing changed (304, the kept packet), then counted and sorted
// into months in the client; each against the same statement run in process
// on the same database, in the same run.
//
//     bench_statistics [repeats]

#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/statements/Statements.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "statistics/MemberYear.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The same work the server does for OpenSQL: every cell read as text.
size_t runInProcess(sqlite3 *db, const QByteArray &sql) {
    sqlite3_stmt *stmt;
    sqlite3_prepare_v2(db, sql.constData(), sql.size(), &stmt, nullptr);
    size_t rows = 0;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i)
            sqlite3_column_text(stmt, i);
        ++rows;
    }
    sqlite3_finalize(stmt);
    return rows;
}

struct Stats {
    double median, p99;
};

template <class Before, class Work> Stats measureAfter(int repeats, Before before, Work work) {
    std::vector<double> millis;
    for (int i = 0; i < repeats; ++i) {
        before();
        const auto start = Clock::now();
        work();
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(millis.begin(), millis.end());
    return {millis[millis.size() / 2],
            millis[std::min(millis.size() - 1, millis.size() * 99 / 100)]};
}

template <class Work> Stats measure(int repeats, Work work) {
    return measureAfter(
        repeats, [] {}, work);
}

QString firstProject(sqlite3 *db) {
    QString project;
    sqlite3_stmt *first;
    sqlite3_prepare_v2(db, "SELECT ProId FROM Programe LIMIT 1", -1, &first, nullptr);
    if (sqlite3_step(first) == SQLITE_ROW)
        project = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(first, 0)));
    sqlite3_finalize(first);
    return project;
}

} // namespace

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int repeats = argc > 1 ? std::max(10, atoi(argv[1])) : 50;
    QTemporaryDir dir;
    const QString dbPath = dir.filePath("bench.db");
    sqlite3 *db;
    sqlite3_open(dbPath.toUtf8().constData(), &db);
    BenchDatabase::seed(db);

    ServerProcess server;
    server.setDatabase(dbPath);
    if (!server.start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    auto connect = [&](ServerConnection &connection) {
        connection.setHostName(server.host());
        connection.setPort(server.port());
        connection.setCredentials(BenchDatabase::loginName(7), "pw");
        connection.open();
    };
    ServerConnection asking, writing;
    connect(asking);
    connect(writing);
    AppServerGateway gateway(&asking), writer(&writing);

    const QString member = BenchDatabase::memberName(7);
    const QDateTime now = QDateTime::currentDateTime();
    const QString sql = Statements::memberYearTasks(member, now.date().year());
    const QByteArray utf8 = sql.toUtf8();
    // A task of another member's: the year's answer must be asked afresh, yet stays the same.
    const QString project = firstProject(db);
    int added = 0;
    auto addTask = [&] {
        writer.execSql("Insert into Task values('" + project + "','bench " +
                       QString::number(++added) + "','" + member + "','','" +
                       now.toString("yyyy-MM-dd hh:mm:ss") + "','','0','','','')");
    };

    const size_t rows = runInProcess(db, utf8);
    const Stats local = measure(repeats, [&] { runInProcess(db, utf8); });
    const Stats changed = measureAfter(repeats, addTask, [&] { gateway.openSql(sql); });
    const Stats kept = measure(repeats, [&] { gateway.openSql(sql); });
    const PDataPacket answer = gateway.openSql(sql);
    // What the tab does with the answer: counts and the picked month's grid rows.
    int gridRows = 0;
    const Stats counted = measure(repeats, [&] {
        const MemberYear year(answer, now);
        gridRows = year.tasksOf(now.date().month())->rowCount();
    });
    const MemberYear year(answer, now);
    int dispatched = 0;
    for (int month = 1; month <= 12; ++month)
        dispatched += year.counts(month).dispatched;

    std::printf("\na pick on the statistics tab: %s's year, %zu tasks (%d placed in months, "
                "%d in this month's grid)\n",
                qPrintable(member), rows, dispatched, gridRows);
    std::printf("%-34s %12s %12s %10s %10s\n", "", "median", "p99", "med/ref", "p99/ref");
    auto line = [&](const char *label, const Stats &s) {
        std::printf("%-34s %9.3f ms %9.3f ms %10.2f %10.2f\n", label, s.median, s.p99,
                    s.median / local.median, s.p99 / local.p99);
    };
    line("in process (reference)", local);
    line("server, tasks changed since", changed);
    line("server, nothing changed (304)", kept);
    line("counted and sorted in the client", counted);
    sqlite3_close(db);
    server.stop();
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
