// How much the application server costs over running the same statements in
// process: the main window's lists, the notice panel and the reminder's two
// counts on a busy department's database, asked again with nothing changed
// (the server answers 304 and the client keeps its rows) and right after a
// change to a table each reads (the statement runs and its answer is parsed),
// then throughput under concurrency, also against another build of the server
// when one is given:
//
//     bench_server [repeats] [--reference PATH-TO-OLDER-solvane-server]

#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/statements/Statements.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "harness/HotStatements.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

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

using Workload = HotStatements::Labelled;

void connectTo(const ServerProcess &server, ServerConnection &connection) {
    connection.setHostName(server.host());
    connection.setPort(server.port());
    connection.setCredentials(BenchDatabase::loginName(7), "pw");
    connection.open();
}

struct Throughput {
    int done = 0;
    int failed = 0;
    double perSecond = 0;
};

// Each client runs the statements in turn on a connection of its own.
Throughput measureThroughput(const ServerProcess &server, int clients, int perClient,
                             const Workload &statements) {
    std::atomic<int> done{0}, failed{0};
    std::vector<std::thread> threads;
    auto begin = Clock::now();
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            try {
                ServerConnection own;
                connectTo(server, own);
                AppServerGateway client(&own);
                for (int i = 0; i < perClient; ++i) {
                    client.openSql(statements[i % statements.size()].second);
                    ++done;
                }
            } catch (const std::exception &error) {
                if (failed++ == 0)
                    std::fprintf(stderr, "a client failed: %s\n", error.what());
            }
        });
    for (auto &thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    return {done.load(), failed.load(), done / seconds};
}

// Times work alone, each time after an untimed before.
template <class Before, class Work> Stats measureAfter(int repeats, Before before, Work work) {
    std::vector<double> millis;
    for (int i = 0; i < repeats; ++i) {
        before();
        auto start = Clock::now();
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

} // namespace

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    int repeats = 200;
    QString reference;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--reference" && i + 1 < argc)
            reference = argv[++i];
        else
            repeats = std::max(10, atoi(argv[i]));
    }
    QTemporaryDir dir;
    const QString dbPath = dir.filePath("bench.db");
    sqlite3 *db;
    sqlite3_open(dbPath.toUtf8().constData(), &db);
    BenchDatabase::seed(db);

    // Every client comes from 127.0.0.1 here and asks as one member, so no
    // limit per address and no member's share of the readers: the throughput
    // is the server's, as the older build (which knows neither) gives it.
    ServerProcess server({"--per-address", "0", "--reader-share", "100000"});
    server.setDatabase(dbPath);
    if (!server.start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    ServerProcess older({"--per-address", "0"});
    older.setDatabase(dbPath);
    older.setBinary(reference);
    if (!reference.isEmpty() && !older.start()) {
        std::fprintf(stderr, "reference did not start: %s\n", qPrintable(older.errorText()));
        return 1;
    }
    ServerConnection connection;
    connectTo(server, connection);
    AppServerGateway gateway(&connection);

    const QString name = BenchDatabase::memberName(7);
    const auto statements = HotStatements::forMember(name);

    ServerConnection olderConnection;
    if (older.port())
        connectTo(older, olderConnection);
    AppServerGateway olderGateway(&olderConnection);

    std::printf("\n%-20s %6s %12s %12s %12s %12s %8s %8s", "statement", "rows", "sqlite med",
                "sqlite p99", "server med", "server p99", "med b/a", "p99 b/a");
    if (older.port())
        std::printf(" %12s %8s", "ref. med", "vs ref.");
    std::printf("\n");
    for (const auto &[label, sql] : statements) {
        const QByteArray utf8 = sql.toUtf8();
        const size_t rows = runInProcess(db, utf8);
        Stats local = measure(repeats, [&] { runInProcess(db, utf8); });
        Stats remote = measure(repeats, [&] { gateway.openSql(sql); });
        std::printf("%-20s %6zu %9.3f ms %9.3f ms %9.3f ms %9.3f ms %8.2f %8.2f", label, rows,
                    local.median, local.p99, remote.median, remote.p99,
                    remote.median / local.median, remote.p99 / local.p99);
        if (older.port()) {
            Stats before = measure(repeats, [&] { olderGateway.openSql(sql); });
            std::printf(" %9.3f ms %8.2f", before.median, remote.median / before.median);
        }
        std::printf("\n");
    }

    // Refreshes right after a change: a notice added for the panel, a task for the task list.
    ServerConnection writing;
    connectTo(server, writing);
    AppServerGateway writer(&writing);
    ServerConnection second;
    connectTo(server, second);
    AppServerGateway secondGateway(&second);
    int added = 0;
    const QString now = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss");
    // New tasks go to a stored project, the only kind the server takes them for.
    QString project;
    sqlite3_stmt *first;
    sqlite3_prepare_v2(db, "SELECT ProId FROM Programe LIMIT 1", -1, &first, nullptr);
    if (sqlite3_step(first) == SQLITE_ROW)
        project = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(first, 0)));
    sqlite3_finalize(first);
    const std::vector<std::pair<int, QString>> afterChange = {
        {2, "Insert into Notice values('bench %1','" + name + "','" + name + "','" + now + "')"},
        {1, "Insert into Task values('" + project + "','bench %1','" + name + "','','" + now +
                "','','0','','','')"},
    };
    // "sqlite after": in process too, right after the server's writer changed
    // the table, so that this connection reads the changed pages afresh.
    std::printf("\n%-20s %6s %12s %12s %12s %12s %8s %8s %12s %8s\n", "after a change", "rows",
                "sqlite med", "sqlite p99", "server med", "server p99", "med b/a", "p99 b/a",
                "sqlite after", "b/after");
    if (older.port())
        std::printf("%-20s %6s %12s %12s %12s %12s %8s %8s %12s %8s %12s %8s\n", "", "", "", "", "",
                    "", "", "", "", "", "ref. med", "vs ref.");
    for (const auto &[which, change] : afterChange) {
        const auto &[label, sql] = statements[which];
        const QByteArray utf8 = sql.toUtf8();
        auto addOne = [&, change = change] { writer.execSql(change.arg(++added)); };
        Stats local = measure(repeats, [&] { runInProcess(db, utf8); });
        Stats localAfter = measureAfter(repeats, addOne, [&] { runInProcess(db, utf8); });
        Stats remote = measureAfter(repeats, addOne, [&] { gateway.openSql(sql); });
        std::printf("%-20s %6zu %9.3f ms %9.3f ms %9.3f ms %9.3f ms %8.2f %8.2f %9.3f ms %8.2f",
                    label, runInProcess(db, utf8), local.median, local.p99, remote.median,
                    remote.p99, remote.median / local.median, remote.p99 / local.p99,
                    localAfter.median, remote.median / localAfter.median);
        if (older.port()) {
            Stats before = measureAfter(repeats, addOne, [&] { olderGateway.openSql(sql); });
            std::printf(" %9.3f ms %8.2f", before.median, remote.median / before.median);
        }
        std::printf("\n");
        // The next member asking after the same change: the answer is kept.
        secondGateway.openSql(sql);
        Stats next = measureAfter(
            repeats,
            [&] {
                addOne();
                gateway.openSql(sql);
            },
            [&] { secondGateway.openSql(sql); });
        std::printf("%-20s %6s %12s %12s %9.3f ms %9.3f ms %8.2f %8.2f %12s %8.2f\n",
                    " the next member", "", "", "", next.median, next.p99,
                    next.median / local.median, next.p99 / local.p99, "",
                    next.median / localAfter.median);
    }

    auto start = Clock::now();
    for (int i = 0; i < repeats; ++i)
        for (const auto &statement : statements)
            runInProcess(db, statement.second.toUtf8());
    const double inProcessRate =
        repeats * statements.size() / std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("\n%-8s %9s %7s %11s %9s", "clients", "requests", "failed", "requests/s",
                "vs 1 in-");
    if (older.port())
        std::printf(" %14s %9s %11s", "ref. requests", "failed", "vs ref.");
    std::printf("\n%-8s %9s %7s %11s %9s\n", "", "", "", "", "process");
    bool olderFirst = true; // taking turns, so neither always meets a warmer machine
    for (int clients : {1, 8, 32, 256}) {
        const int perClient = std::max(20, repeats * 5 / clients);
        auto measureOlder = [&] {
            return older.port() ? measureThroughput(older, clients, perClient, statements)
                                : Throughput{};
        };
        Throughput reference, now;
        if (olderFirst)
            reference = measureOlder();
        now = measureThroughput(server, clients, perClient, statements);
        if (!olderFirst)
            reference = measureOlder();
        olderFirst = !olderFirst;
        std::printf("%-8d %9d %7d %11.0f %9.2f", clients, now.done, now.failed, now.perSecond,
                    now.perSecond / inProcessRate);
        if (older.port())
            std::printf(" %14d %9d %11.2f", reference.done, reference.failed,
                        now.perSecond / reference.perSecond);
        std::printf("\n");
    }
    sqlite3_close(db);
    server.stop();
    older.stop();
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
