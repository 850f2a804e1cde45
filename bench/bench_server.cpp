// How much the application server costs over running the same statements in
// process: the main window's lists, the notice panel and the reminder's two
// counts on a busy department's database, then throughput under concurrency.

#include "ClientClassess.h"
#include "ServerConnection.h"
#include "ServerProcess.h"
#include "Statements.h"
#include "schema.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMembers = 50, kProjects = 10000, kTasksPerProject = 5, kNoticeDays = 30,
              kNoticesPerDay = 200;

QString memberName(int i) { return QString("成员%1号").arg(i + 100); }
QString timeText(const QDateTime &t) { return t.toString("yyyy-MM-dd HH:mm:ss"); }

void bindAll(sqlite3_stmt *stmt, const QStringList &values) {
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray utf8 = values[i].toUtf8();
        sqlite3_bind_text(stmt, i + 1, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
    }
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
}

void seed(sqlite3 *db) {
    sqlite3_exec(db, appserver::kSchemaSql, nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; BEGIN", nullptr, nullptr, nullptr);
    std::mt19937 random(7);
    auto someone = [&] { return memberName(random() % kMembers); };
    const QDateTime now = QDateTime::currentDateTime();
    sqlite3_stmt *stmt;

    sqlite3_prepare_v2(db, "INSERT INTO Login VALUES(?,?,?)", -1, &stmt, nullptr);
    for (int i = 0; i < kMembers; ++i)
        bindAll(stmt, {QString("m%1").arg(i), "pw", memberName(i)});
    sqlite3_finalize(stmt);

    sqlite3_stmt *task;
    sqlite3_prepare_v2(db, "INSERT INTO Programe VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &stmt,
                       nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO Task VALUES(?,?,?,?,?,?,?,?,?,?)", -1, &task, nullptr);
    for (int p = 0; p < kProjects; ++p) {
        const QDateTime created = now.addSecs(-qint64(p) * 6000);
        const QString id = QString("GD%1%2").arg(created.toString("yyyyMMdd")).arg(p, 5, 10,
                                                                                     QChar('0'));
        const QString flag = p % 3 == 0 ? "No" : "Yes";
        bindAll(stmt, {id, "客户来源", "项目目标", "项目内容说明", someone(),
                       someone() + "|" + someone() + "|" + someone(), timeText(created),
                       timeText(created.addDays(20)), flag, "5", "业务需求---" + someone()});
        for (int t = 0; t < kTasksPerProject; ++t)
            bindAll(task, {id, QString("任务内容 %1").arg(t), someone(),
                           t % 2 ? someone() : QString(), timeText(created.addSecs(t * 60)),
                           timeText(created.addDays(t + 3)), QString::number(t % 3), "", "",
                           someone() + "|" + someone()});
    }
    sqlite3_finalize(stmt);
    sqlite3_finalize(task);

    sqlite3_prepare_v2(db, "INSERT INTO Notice VALUES(?,?,?,?)", -1, &stmt, nullptr);
    for (int n = 0; n < kNoticeDays * kNoticesPerDay; ++n)
        bindAll(stmt, {"项目编号:GD20261117001 添加了派发任务，请以下执行人选注意查收",
                       someone(), someone() + "|" + someone(),
                       timeText(now.addSecs(-qint64(n) * 86400 / kNoticesPerDay))});
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

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

template <class Work> Stats measure(int repeats, Work work) {
    std::vector<double> millis;
    for (int i = 0; i < repeats; ++i) {
        auto start = Clock::now();
        work();
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(millis.begin(), millis.end());
    return {millis[millis.size() / 2], millis[std::min(millis.size() - 1, millis.size() * 99 / 100)]};
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int repeats = argc > 1 ? std::max(10, atoi(argv[1])) : 200;
    QTemporaryDir dir;
    const QString dbPath = dir.filePath("bench.db");
    sqlite3 *db;
    sqlite3_open(dbPath.toUtf8().constData(), &db);
    auto seedStart = Clock::now();
    seed(db);
    std::printf("seeded %d members, %d projects, %d tasks, %d notices in %.1f s\n", kMembers,
                kProjects, kProjects * kTasksPerProject, kNoticeDays * kNoticesPerDay,
                std::chrono::duration<double>(Clock::now() - seedStart).count());

    ServerProcess server;
    server.setDatabase(dbPath);
    if (!server.start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    ServerConnection connection;
    connection.setHostName(server.host());
    connection.setPort(server.port());
    connection.open();
    TZelServerDataBaseClient gateway(&connection);

    const QString name = memberName(7);
    const QString pattern = "'%" + name + "%'";
    const QString since = QDateTime::currentDateTime().addDays(-15).toString("yyyy-MM-dd");
    const std::vector<std::pair<const char *, QString>> statements = {
        {"project list", Statements::SelectPro(name, name)},
        {"task list", Statements::SelectTask(name, name)},
        {"notice panel",
         "Select * From Notice Where CreateTime>='" + since + "'Order by CreateTime desc"},
        {"reminder: projects", "Select * From Programe Where ProPerformer like" + pattern +
                                   " and ProCompleteFlag='No'"},
        {"reminder: tasks", "Select * From Task Where TaskPerformer like" + pattern +
                                " and TaskCompleteFlag<>'2'"},
    };

    std::printf("\n%-20s %6s %12s %12s %12s %12s %8s %8s\n", "statement", "rows",
                "sqlite med", "sqlite p99", "server med", "server p99", "med b/a", "p99 b/a");
    for (const auto &[label, sql] : statements) {
        const QByteArray utf8 = sql.toUtf8();
        const size_t rows = runInProcess(db, utf8);
        Stats local = measure(repeats, [&] { runInProcess(db, utf8); });
        Stats remote = measure(repeats, [&] { gateway.OpenSQL(sql); });
        std::printf("%-20s %6zu %9.3f ms %9.3f ms %9.3f ms %9.3f ms %8.2f %8.2f\n", label, rows,
                    local.median, local.p99, remote.median, remote.p99,
                    remote.median / local.median, remote.p99 / local.p99);
    }

    // Throughput: each client runs the five statements in turn on its own connection.
    auto start = Clock::now();
    for (int i = 0; i < repeats; ++i)
        for (const auto &statement : statements)
            runInProcess(db, statement.second.toUtf8());
    const double inProcessRate =
        repeats * statements.size() / std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("\n%-10s %14s %14s %10s\n", "clients", "requests", "requests/s", "vs 1 thread in-process");
    for (int clients : {1, 8, 32}) {
        const int perClient = std::max(20, repeats * 5 / clients);
        std::atomic<int> done{0};
        std::vector<std::thread> threads;
        auto begin = Clock::now();
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&] {
                ServerConnection own;
                own.setHostName(server.host());
                own.setPort(server.port());
                own.open();
                TZelServerDataBaseClient client(&own);
                for (int i = 0; i < perClient; ++i) {
                    client.OpenSQL(statements[i % statements.size()].second);
                    ++done;
                }
            });
        for (auto &thread : threads)
            thread.join();
        const double rate =
            done / std::chrono::duration<double>(Clock::now() - begin).count();
        std::printf("%-10d %14d %14.0f %10.2f\n", clients, done.load(), rate, rate / inProcessRate);
    }
    sqlite3_close(db);
    server.stop();
    return 0;
}
