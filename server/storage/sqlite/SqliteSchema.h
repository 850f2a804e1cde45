#pragma once
// The four tables in a SQLite file, their keys and indexes, and the journal.

namespace appserver {

inline constexpr const char *kSchemaSql = R"SQL(
-- Login names compare without regard to ASCII letter case, passwords exactly.
CREATE TABLE IF NOT EXISTS Login(UseName TEXT COLLATE NOCASE, PassWord TEXT, Remark TEXT);
CREATE TABLE IF NOT EXISTS Programe(ProId TEXT, ProFrom TEXT, ProAim TEXT, ProContent TEXT,
    ProDemander TEXT, ProPerformer TEXT, ProCreateTime TEXT, ProCompleteTime TEXT,
    ProCompleteFlag TEXT, ProTask TEXT, ProList TEXT);
CREATE TABLE IF NOT EXISTS Task(TaskId TEXT, TaskContent TEXT, TaskDemander TEXT,
    TaskPerformer TEXT, TaskCreateTime TEXT, TaskCompleteTime TEXT, TaskCompleteFlag TEXT,
    TaskList TEXT, TaskReadTime TEXT, TaskCCList TEXT);
CREATE TABLE IF NOT EXISTS Notice(Content TEXT, Demander TEXT, Performer TEXT, CreateTime TEXT);
-- A project number names one project: deletions and task lists pick by it alone.
CREATE UNIQUE INDEX IF NOT EXISTS Programe_ProId ON Programe(ProId);
-- A login name names one member, whatever the letter case it is typed in.
CREATE UNIQUE INDEX IF NOT EXISTS Login_UseName ON Login(UseName COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS Task_TaskId ON Task(TaskId);
CREATE INDEX IF NOT EXISTS Notice_CreateTime ON Notice(CreateTime);
-- Each member's share of the recent notices is summed on every new one.
CREATE INDEX IF NOT EXISTS Notice_Demander ON Notice(Demander, CreateTime);
-- The journal: each change the server made, by whom, when, and the columns it
-- changed. Only the server writes it; a project's history reads it by KeyId.
CREATE TABLE IF NOT EXISTS solvane_journal(Seq INTEGER PRIMARY KEY, ChangedAt TEXT,
    ByLogin TEXT, ByName TEXT, Verb TEXT, RowTable TEXT, KeyId TEXT, KeyContent TEXT,
    KeyDemander TEXT, Changes TEXT);
CREATE INDEX IF NOT EXISTS solvane_journal_KeyId ON solvane_journal(KeyId, KeyContent,
    KeyDemander);
)SQL";

} // namespace appserver
