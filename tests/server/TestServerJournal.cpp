// The journal against the changes made: random sequences of the members'
// changes (any of them may be refused) are sent to a real server; replaying
// the journal's entries, each one's values before checked against the rows
// as replayed so far, gives the tables as stored, entry for entry with the
// changes the server confirmed. Also: members cannot write the journal, an
// administrator reads a project's history from the command line, and a
// database made before the journal existed gains it at start.

#include "support/ServerProcess.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <map>

using nlohmann::json;

namespace {

struct Member {
    const char *login, *password, *name;
};
const Member kMembers[] = {
    {"tb58", "pw", "Mareth"}, {"kestra", "k", "Kestra"}, {"halvic", "h", "Halvic"}};

struct Answer {
    int status = 0;
    json body;
};

Answer call(int port, const Member &member, const char *method, const QString &sql) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10);
    client.set_basic_auth(member.login, member.password);
    auto result = client.Post(std::string("/datasnap/rest/TZelServerDataBase/") + method,
                              sql.toStdString(), "text/plain");
    if (!result)
        return {};
    return {result->status, json::parse(result->body, nullptr, false)};
}

const QStringList kProjectColumns = {"ProId",         "ProFrom",         "ProAim",
                                     "ProContent",    "ProDemander",     "ProPerformer",
                                     "ProCreateTime", "ProCompleteTime", "ProCompleteFlag",
                                     "ProTask",       "ProList"};
const QStringList kTaskColumns = {"TaskId",         "TaskContent",      "TaskDemander",
                                  "TaskPerformer",  "TaskCreateTime",   "TaskCompleteTime",
                                  "TaskCompleteFlag", "TaskList",       "TaskReadTime",
                                  "TaskCCList"};

using Row = std::map<QString, QString>;
using Rows = std::map<QString, Row>; // by table and key

QString keyOf(const QString &table, const Row &row) {
    if (table == "Programe")
        return "Programe/" + row.at("ProId");
    return "Task/" + row.at("TaskId") + "/" + row.at("TaskContent") + "/" + row.at("TaskDemander");
}

// Every stored row of projects and tasks, read past the server.
Rows storedRows(const ServerProcess &server) {
    Rows rows;
    for (const auto &[table, columns] :
         {std::pair{QString("Programe"), kProjectColumns}, std::pair{QString("Task"), kTaskColumns}}) {
        QStringList cells;
        for (const QString &column : columns)
            cells << "coalesce(" + column + ",'')";
        for (const QString &line :
             server.queryDatabaseFile("SELECT " + cells.join("||'\x1f'||") + " FROM " + table)) {
            const QStringList values = line.split('\x1f');
            Row row;
            for (int c = 0; c < columns.size(); ++c)
                row[columns[c]] = values.value(c);
            rows[keyOf(table, row)] = row;
        }
    }
    return rows;
}

struct Sent {
    QString name; // the member's display name
    QString verb;
};

} // namespace

class TestServerJournal : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void replayingTheJournalGivesTheStoredRows_data();
    void replayingTheJournalGivesTheStoredRows();
    void membersCannotWriteTheJournal();
    void anAdministratorReadsAProjectsHistory();
    void anEarlierDatabaseGainsTheJournal();
    void oldEntriesGoAfterTheirDays();

private:
    // One random change by a random member, its values from the rows stored.
    std::pair<Sent, Answer> randomChange(QRandomGenerator &random, const Rows &rows);

    std::unique_ptr<ServerProcess> server_;
};

void TestServerJournal::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    server_ = std::make_unique<ServerProcess>(QStringList{}, ServerProcess::storageUnderTest());
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QVERIFY(server_->execOnDatabaseFile("INSERT INTO Login VALUES('tb58','pw','Mareth'),"
                                        "('kestra','k','Kestra'),('halvic','h','Halvic')"));
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Programe VALUES('GD1','s','a','c','Kestra','Halvic','2026-12-01 09:00:00',"
        "'2027-12-20 09:00:00','No','0','n---Kestra')"));
}

void TestServerJournal::cleanup() {
    if (server_)
        QVERIFY(server_->stop());
    server_.reset();
}

std::pair<Sent, Answer> TestServerJournal::randomChange(QRandomGenerator &random,
                                                        const Rows &rows) {
    const Member &who = kMembers[random.bounded(3)];
    const QString me = who.name;
    std::vector<const Row *> tasks, projects;
    for (const auto &[key, row] : rows)
        (key.startsWith("Task/") ? tasks : projects).push_back(&row);
    const QStringList contents = {"t1", "t2", "t3", "t'4"};
    const auto q = [](QString value) { return "'" + value.replace("'", "''") + "'"; };
    const auto where = [&](const Row &t) {
        return " where TaskId=" + q(t.at("TaskId")) + " and TaskContent=" + q(t.at("TaskContent")) +
               " and TaskDemander=" + q(t.at("TaskDemander"));
    };
    const auto state = [&](const Row &t, const QString &flag, const QString &note,
                           const QString &performer) {
        return "update Task Set TaskCompleteFlag=" + q(flag) + ",TaskList=" + q(note) +
               ",TaskPerformer=" + q(performer) + where(t);
    };
    const int pick = random.bounded(tasks.empty() ? 3 : 11);
    const Row *task = tasks.empty() ? nullptr : tasks[random.bounded(int(tasks.size()))];
    const Row &project = *projects[random.bounded(int(projects.size()))];
    const auto send = [&](const char *verb, const char *method, const QString &sql) {
        return std::pair{Sent{me, verb}, call(server_->port(), who, method, sql)};
    };
    switch (pick) {
    case 0: // a flow node
        return send("node", "ExecSQL",
                    "update Programe Set ProPerformer=" + q(project.at("ProPerformer")) +
                        ",ProCompleteFlag=" + q(project.at("ProCompleteFlag")) + ",ProTask='0'," +
                        "ProList=" + q(project.at("ProList") + "|x" +
                                       QString::number(random.bounded(100)) + "---" + me) +
                        " where ProId=" + q(project.at("ProId")) + " and ProFrom='s' and "
                        "ProDemander=" + q(project.at("ProDemander")));
    case 1: // a new project of the member's
        return send("create", "ExecSQL",
                    "Insert into Programe values(" + q("KF" + QString::number(random.bounded(4))) +
                        ",'s','a','c'," + q(me) + ",'Halvic','2026-12-01 09:00:00','2027-12-20 "
                        "09:00:00','No','0','')");
    case 2: // a dispatch
        return send("dispatch", "ExecSQL",
                    "Insert into Task values(" + q(project.at("ProId")) + "," +
                        q(contents[random.bounded(contents.size())]) + "," + q(me) +
                        ",'','2026-12-02 09:00:00','2027-12-20 09:00:00','0','','','Halvic|"
                        "Kestra')");
    case 3:
        return send("claim", "ExecSQL",
                    state(*task, "0", "", me) + " and TaskCompleteFlag='0' and TaskPerformer=''");
    case 4:
        return send("apply", "ExecSQL",
                    state(*task, "1", "note" + QString::number(random.bounded(9)),
                          task->at("TaskPerformer")));
    case 5:
        return send("agree", "ExecSQL",
                    state(*task, "2", task->at("TaskList"), task->at("TaskPerformer")));
    case 6:
        return send("reject", "ExecSQL",
                    state(*task, "0", task->at("TaskList"), task->at("TaskPerformer")));
    case 7:
        return send("read", "ExecSQL",
                    "update Task Set TaskReadTime=" + q("2026-12-03 10:00:00--" + me) + where(*task));
    case 8:
        return send("delete", "DelSQL", "delete From Task" + where(*task).replace(" where ", " Where "));
    case 9: { // a re-edit, which may move the task to another dispatcher
        Row edited = *task;
        edited["TaskDemander"] = kMembers[random.bounded(3)].name;
        edited["TaskCCList"] = "Halvic|Kestra|" + me;
        QStringList values;
        for (const QString &column : kTaskColumns)
            values << q(edited[column]);
        return send("re-edit", "ExecSQL",
                    "delete From Task" + where(*task).replace(" where ", " Where ") +
                        ";Insert into Task values(" + values.join(",") + ")");
    }
    default: // completing the project, or deleting it
        if (random.bounded(2))
            return send("complete", "ExecSQL",
                        "update Programe Set ProPerformer=" + q(project.at("ProPerformer")) +
                            ",ProCompleteFlag='Yes',ProTask='0',ProList=" +
                            q(project.at("ProList")) + " where ProId=" + q(project.at("ProId")) +
                            " and ProFrom='s' and ProDemander=" + q(project.at("ProDemander")));
        return send("delete", "DelSQL", "delete Programe Where ProId=" + q(project.at("ProId")));
    }
}

void TestServerJournal::replayingTheJournalGivesTheStoredRows_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u})
        QTest::addRow("seed %u", seed) << seed;
}

void TestServerJournal::replayingTheJournalGivesTheStoredRows() {
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    Rows replayed = storedRows(*server_);
    std::vector<Sent> made;
    int refused = 0;
    for (int step = 0; step < 80; ++step) {
        const Rows was = storedRows(*server_);
        const auto [sent, answer] = randomChange(random, was);
        QVERIFY2(answer.status == 200 || answer.status == 403, answer.body.dump().c_str());
        // A change is what changed the stored rows (a re-edit may store them as they were).
        if (storedRows(*server_) != was) {
            QCOMPARE(answer.status, 200);
            made.push_back(sent);
        } else {
            ++refused;
        }
    }
    QVERIFY2(made.size() >= 15, qPrintable(QString::number(made.size())));
    QVERIFY(refused > 0);

    const QStringList entries = server_->queryDatabaseFile(
        "SELECT ByLogin||'\x1f'||ByName||'\x1f'||Verb||'\x1f'||RowTable||'\x1f'||KeyId||'\x1f'||"
        "KeyContent||'\x1f'||KeyDemander||'\x1f'||Changes FROM solvane_journal ORDER BY Seq");
    QCOMPARE(entries.size(), int(made.size()));
    for (int e = 0; e < entries.size(); ++e) {
        const QStringList f = entries[e].split('\x1f');
        QCOMPARE(f[1], made[e].name);
        QCOMPARE(f[2], made[e].verb);
        const json changes = json::parse(f[7].toStdString());
        // The row before: found by the key as it was (a re-edit may change it).
        Row before, after;
        const QStringList &columns = f[3] == "Task" ? kTaskColumns : kProjectColumns;
        const QStringList key = {f[4], f[5], f[6]};
        Row keyed;
        for (int k = 0; k < (f[3] == "Task" ? 3 : 1); ++k) {
            const std::string column = columns[k].toStdString();
            keyed[columns[k]] = changes.contains(column) && changes[column][0].is_string()
                                    ? QString::fromStdString(changes[column][0])
                                    : key[k];
        }
        const QString beforeKey = keyOf(f[3], keyed);
        const bool existed = replayed.count(beforeKey) > 0;
        if (existed)
            before = replayed[beforeKey];
        after = before;
        bool gone = false;
        for (const QString &column : columns) {
            const std::string name = column.toStdString();
            if (!changes.contains(name))
                continue;
            const json &was = changes[name][0], &is = changes[name][1];
            // Each value before is the one the replay holds.
            QCOMPARE(was.is_string() ? QString::fromStdString(was) : QString("<none>"),
                     existed ? before[column] : QString("<none>"));
            if (is.is_string())
                after[column] = QString::fromStdString(is);
            else
                gone = true;
        }
        replayed.erase(beforeKey);
        if (!gone)
            replayed[keyOf(f[3], after)] = after;
    }
    // The task count is not journalled (the window rewrites it on every opening).
    Rows stored = storedRows(*server_);
    for (Rows *rows : {&stored, &replayed})
        for (auto &[key, row] : *rows)
            row.erase("ProTask");
    QCOMPARE(replayed, stored);
}

void TestServerJournal::membersCannotWriteTheJournal() {
    for (const char *sql : {"Insert into solvane_journal values(1,'2026-12-01 09:00:00','tb58',"
                            "'Mareth','agree','Task','GD1','x','Kestra','{}')",
                            "delete From solvane_journal Where KeyId='GD1'",
                            "update solvane_journal Set ByName='x'"})
        for (const char *method : {"ExecSQL", "DelSQL"}) {
            const Answer answer = call(server_->port(), kMembers[0], method, sql);
            QCOMPARE(answer.status, 403);
        }
    // Not even a privileged member with other statements let in.
    ServerProcess open({"--statements", "any"}, ServerProcess::storageUnderTest());
    QVERIFY2(open.start(), qPrintable(open.errorText()));
    QVERIFY(open.execOnDatabaseFile("INSERT INTO Login VALUES('tb58','pw','Mareth')"));
    QCOMPARE(call(open.port(), kMembers[0], "DelSQL", "delete from solvane_journal").status, 403);
    QCOMPARE(call(open.port(), kMembers[0], "ExecSQL",
                  "insert into solvane_journal(ByName) values('x')")
                 .status,
             403);
    QVERIFY(open.stop());
}

void TestServerJournal::anAdministratorReadsAProjectsHistory() {
    const Member &kestra = kMembers[1];
    QCOMPARE(call(server_->port(), kestra, "ExecSQL",
                  "update Programe Set ProPerformer='Halvic',ProCompleteFlag='No',ProTask='0',"
                  "ProList='n---Kestra|m---Kestra' where ProId='GD1' and ProFrom='s' and "
                  "ProDemander='Kestra'")
                 .status,
             200);
    QCOMPARE(call(server_->port(), kestra, "ExecSQL",
                  "Insert into Task values('GD1','t1','Kestra','','2026-12-02 09:00:00',"
                  "'2027-12-20 09:00:00','0','','','Halvic')")
                 .status,
             200);
    // Every member reads it through the client's statement, newest first.
    const Answer history =
        call(server_->port(), kMembers[2], "OpenSQL",
             "Select ChangedAt,ByName,Verb,RowTable,KeyContent,KeyDemander,Changes From "
             "solvane_journal where KeyId='GD1' and RowTable<>'Login' order by Seq desc");
    QCOMPARE(history.status, 200);
    QCOMPARE(history.body["rows"].size(), size_t(2));
    QCOMPARE(history.body["rows"][0][2], "dispatch");
    QCOMPARE(history.body["rows"][1][2], "node");

    QProcess command;
    command.start(ServerProcess::binary(),
                  {"--db", server_->dbArgument(), "--history", "GD1"});
    QVERIFY(command.waitForFinished(20000));
    QCOMPARE(command.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(command.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].contains("kestra (Kestra)\tdispatch\ttask GD1 / t1 / Kestra"),
             qPrintable(lines[0]));
    QVERIFY2(lines[1].contains("node\tproject GD1\tProList: \"n---Kestra\" -> "
                               "\"n---Kestra|m---Kestra\""),
             qPrintable(lines[1]));
}

// A SQLite file as the build before the journal made it: its schema as that
// build wrote it, rows in every table.
const char *kEarlierSqliteSchema = R"SQL(
CREATE TABLE Login(UseName TEXT COLLATE NOCASE, PassWord TEXT, Remark TEXT);
CREATE TABLE Programe(ProId TEXT, ProFrom TEXT, ProAim TEXT, ProContent TEXT,
    ProDemander TEXT, ProPerformer TEXT, ProCreateTime TEXT, ProCompleteTime TEXT,
    ProCompleteFlag TEXT, ProTask TEXT, ProList TEXT);
CREATE TABLE Task(TaskId TEXT, TaskContent TEXT, TaskDemander TEXT,
    TaskPerformer TEXT, TaskCreateTime TEXT, TaskCompleteTime TEXT, TaskCompleteFlag TEXT,
    TaskList TEXT, TaskReadTime TEXT, TaskCCList TEXT);
CREATE TABLE Notice(Content TEXT, Demander TEXT, Performer TEXT, CreateTime TEXT);
CREATE UNIQUE INDEX Programe_ProId ON Programe(ProId);
CREATE UNIQUE INDEX Login_UseName ON Login(UseName COLLATE NOCASE);
CREATE INDEX Task_TaskId ON Task(TaskId);
CREATE INDEX Notice_CreateTime ON Notice(CreateTime);
CREATE INDEX Notice_Demander ON Notice(Demander, CreateTime);
INSERT INTO Login VALUES('tb58','pw','Mareth'),('kestra','k','Kestra'),('halvic','h','Halvic');
INSERT INTO Programe VALUES('GD1','s','a','c','Kestra','Halvic','2026-12-01 09:00:00',
    '2027-12-20 09:00:00','No','1','n---Kestra');
INSERT INTO Task VALUES('GD1','t1','Kestra','Halvic','2026-12-02 09:00:00',
    '2027-12-20 09:00:00','1','done','','Halvic');
INSERT INTO Notice VALUES('项目编号:GD1 添加了新的节点信息！','Kestra','Halvic','2026-12-01 09:00:00');
)SQL";

void TestServerJournal::anEarlierDatabaseGainsTheJournal() {
    const auto everything = [](const ServerProcess &server) {
        QStringList rows;
        for (const char *sql :
             {"SELECT UseName||PassWord||Remark FROM Login", "SELECT ProId||ProList FROM Programe",
              "SELECT TaskId||TaskContent||TaskCompleteFlag||TaskList FROM Task",
              "SELECT Content||CreateTime FROM Notice"})
            rows << server.queryDatabaseFile(sql);
        return rows;
    };
    const auto agree = [](int port) {
        return call(port, kMembers[2], "ExecSQL",
                    "update Task Set TaskCompleteFlag='2',TaskList='done',TaskPerformer='Halvic' "
                    "where TaskId='GD1' and TaskContent='t1' and TaskDemander='Kestra'");
    };
    if (!server_->isPostgres()) {
        QVERIFY(server_->stop());
        QTemporaryDir dir;
        ServerProcess earlier;
        earlier.setDatabase(dir.filePath("earlier.db"));
        QVERIFY(earlier.execOnDatabaseFile(kEarlierSqliteSchema));
        const QStringList before = everything(earlier);
        QCOMPARE(before.size(), 6);
        QVERIFY2(earlier.start(), qPrintable(earlier.errorText()));
        QCOMPARE(everything(earlier), before);
        QCOMPARE(earlier.queryDatabaseFile("SELECT count(*) FROM solvane_journal"), {"0"});
        QCOMPARE(agree(earlier.port()).body.value("changes", 0), 1);
        QCOMPARE(earlier.queryDatabaseFile("SELECT Verb||ByName FROM solvane_journal"),
                 {"agreeHalvic"});
        QVERIFY(earlier.stop());
        QProcess check;
        check.start(ServerProcess::binary(), {"--db", earlier.dbPath(), "--check"});
        QVERIFY(check.waitForFinished(20000));
        QCOMPARE(check.exitCode(), 0);
        return;
    }
    // PostgreSQL: the database as the earlier --init left it. The server's
    // role may not create tables: it serves on, says so, and journals once
    // the owner ran --init again.
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Task VALUES('GD1','t1','Kestra','Halvic','2026-12-02 09:00:00',"
        "'2027-12-20 09:00:00','1','done','','Halvic')"));
    QVERIFY(server_->stop());
    QVERIFY(server_->execOnDatabaseFile("DROP TABLE solvane_journal"));
    const QStringList before = everything(*server_);
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QVERIFY(server_->log().contains("has no journal"));
    QCOMPARE(everything(*server_), before);
    QVERIFY(server_->stop());
    const QString served = server_->dbArgument();
    const qsizetype roleAt = served.lastIndexOf(" user=");
    QProcess init;
    init.start(ServerProcess::binary(), {"--db", served.left(roleAt), "--init", "--grant-to",
                                         served.mid(roleAt + int(strlen(" user=")))});
    QVERIFY(init.waitForFinished(30000));
    QVERIFY2(init.exitCode() == 0, init.readAllStandardError().constData());
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QCOMPARE(everything(*server_), before);
    QCOMPARE(agree(server_->port()).body.value("changes", 0), 1);
    QCOMPARE(server_->queryDatabaseFile("SELECT Verb||ByName FROM solvane_journal"),
             {"agreeHalvic"});
}

void TestServerJournal::oldEntriesGoAfterTheirDays() {
    QVERIFY(server_->stop());
    const auto at = [](int daysAgo) {
        return QDateTime::currentDateTime().addDays(-daysAgo).toString("yyyy-MM-dd HH:mm:ss");
    };
    // Each time read once: the clock moves on while the test runs.
    const QString twentyDaysAgo = at(20);
    for (const QString &changedAt : {at(40), twentyDaysAgo})
        QVERIFY(server_->execOnDatabaseFile(
            QString("INSERT INTO solvane_journal(ChangedAt,ByLogin,ByName,Verb,RowTable,KeyId,"
                    "KeyContent,KeyDemander,Changes) VALUES('%1','kestra','Kestra','node',"
                    "'Programe','GD1','','','{}')")
                .arg(changedAt)));
    ServerProcess kept({"--journal-days", "30"}, ServerProcess::storageUnderTest());
    kept.setDatabase(server_->dbArgument());
    QVERIFY2(kept.start(), qPrintable(kept.errorText()));
    QCOMPARE(call(kept.port(), kMembers[1], "ExecSQL",
                  "update Programe Set ProPerformer='Halvic',ProCompleteFlag='No',ProTask='0',"
                  "ProList='n---Kestra|m---Kestra' where ProId='GD1' and ProFrom='s' and "
                  "ProDemander='Kestra'")
                 .body.value("changes", 0),
             1);
    // The entry of 40 days ago went with the first change of the day; the
    // one of 20 days ago and the change's own stay.
    const QStringList left =
        server_->queryDatabaseFile("SELECT ChangedAt FROM solvane_journal ORDER BY Seq");
    QCOMPARE(left.size(), 2);
    QCOMPARE(left[0], twentyDaysAgo);
    QVERIFY(kept.stop());
}

QTEST_GUILESS_MAIN(TestServerJournal)
#include "TestServerJournal.moc"
