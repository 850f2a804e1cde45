#include "harness/BenchDatabase.h"

#include "storage/sqlite/SqliteSchema.h"

#include <QDateTime>
#include <QStringList>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <random>

namespace BenchDatabase {
namespace {

QString timeText(const QDateTime &t) {
    return t.toString("yyyy-MM-dd HH:mm:ss");
}

void bindAll(sqlite3_stmt *stmt, const QStringList &values) {
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray utf8 = values[i].toUtf8();
        sqlite3_bind_text(stmt, i + 1, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
    }
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
}

} // namespace

QString memberName(int i) {
    return QString("成员%1号").arg(i + 100);
}
QString loginName(int i) {
    return QString("m%1").arg(i);
}

void seed(sqlite3 *db) {
    const auto started = std::chrono::steady_clock::now();
    sqlite3_exec(db, appserver::kSchemaSql, nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; BEGIN", nullptr, nullptr, nullptr);
    std::mt19937 random(7);
    auto someone = [&] { return memberName(random() % kMembers); };
    const QDateTime now = QDateTime::currentDateTime();
    sqlite3_stmt *stmt;

    sqlite3_prepare_v2(db, "INSERT INTO Login VALUES(?,?,?)", -1, &stmt, nullptr);
    for (int i = 0; i < kMembers; ++i)
        bindAll(stmt, {loginName(i), "pw", memberName(i)});
    sqlite3_finalize(stmt);

    sqlite3_stmt *task;
    sqlite3_prepare_v2(db, "INSERT INTO Programe VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &stmt,
                       nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO Task VALUES(?,?,?,?,?,?,?,?,?,?)", -1, &task, nullptr);
    for (int p = 0; p < kProjects; ++p) {
        const QDateTime created = now.addSecs(-qint64(p) * 6000);
        const QString id =
            QString("GD%1%2").arg(created.toString("yyyyMMdd")).arg(p, 5, 10, QChar('0'));
        const QString flag = p % 3 == 0 ? "No" : "Yes";
        bindAll(stmt, {id, "客户来源", "项目目标", "项目内容说明", someone(),
                       someone() + "|" + someone() + "|" + someone(), timeText(created),
                       timeText(created.addDays(20)), flag, "5", "业务需求---" + someone()});
        for (int t = 0; t < kTasksPerProject; ++t)
            bindAll(task,
                    {id, QString("任务内容 %1").arg(t), someone(), t % 2 ? someone() : QString(),
                     timeText(created.addSecs(t * 60)), timeText(created.addDays(t + 3)),
                     QString::number(t % 3), "", "", someone() + "|" + someone()});
    }
    sqlite3_finalize(stmt);
    sqlite3_finalize(task);

    sqlite3_prepare_v2(db, "INSERT INTO Notice VALUES(?,?,?,?)", -1, &stmt, nullptr);
    for (int n = 0; n < kNoticeDays * kNoticesPerDay; ++n)
        bindAll(stmt, {"项目编号:GD20261117001 添加了派发任务，请以下执行人选注意查收", someone(),
                       someone() + "|" + someone(),
                       timeText(now.addSecs(-qint64(n) * 86400 / kNoticesPerDay))});
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    std::printf("seeded %d members, %d projects, %d tasks, %d notices in %.1f s\n", kMembers,
                kProjects, kProjects * kTasksPerProject, kNoticeDays * kNoticesPerDay,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

void seedFile(const QString &path) {
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    seed(db);
    sqlite3_close(db);
}

} // namespace BenchDatabase
