#pragma once
// The database of a busy department, shared by the benchmarks: 50 members,
// 10,000 projects, 50,000 tasks and 30 days of notices at 200 a day.

#include <QString>

struct sqlite3;

namespace BenchDatabase {

constexpr int kMembers = 50, kProjects = 10000, kTasksPerProject = 5, kNoticeDays = 30,
              kNoticesPerDay = 200;

// Member i logs in as "m<i>" with password "pw".
QString memberName(int i);
QString loginName(int i);

// Creates the tables and fills them; prints how long it took.
void seed(sqlite3 *db);
// The same into the database file at path, created when missing.
void seedFile(const QString &path);

} // namespace BenchDatabase
