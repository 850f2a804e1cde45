// What each member may do with projects and tasks, asked directly as any
// program could: only what the member's own windows allow passes, and a
// refused change leaves every row as it was.

#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <thread>

using nlohmann::json;

namespace {

struct Answer {
    int status = 0;
    json body;
};

const char *passwordOf(const QString &user) {
    if (user == "tb58")
        return "pw";
    return user == "kestra" ? "k" : "h";
}

Answer call(int port, const QString &user, const QString &method, const QString &sql) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10);
    client.set_basic_auth(user.toStdString(), passwordOf(user));
    auto result = client.Post("/datasnap/rest/TZelServerDataBase/" + method.toStdString(),
                              sql.toStdString(), "text/plain");
    if (!result)
        return {};
    return {result->status, json::parse(result->body, nullptr, false)};
}

QString project(const QString &id, const QString &creator, const QString &due = "2026-12-20",
                const QString &flag = "No", const QString &nodes = "", const QString &tasks = "0") {
    return QString("('%1','s','a','c','%2','Halvic','2026-12-01 09:00:00','%3 09:00:00','%4','%5',"
                   "'%6')")
        .arg(id, creator, due, flag, tasks, nodes);
}

QString task(const QString &content, const QString &demander, const QString &performer,
             const QString &state, const QString &note = "", const QString &due = "2026-12-20",
             const QString &id = "GD1") {
    return QString("('%1','%2','%3','%4','2026-12-01 09:00:00','%5 09:00:00','%6','%7','',"
                   "'Halvic')")
        .arg(id, content, demander, performer, due, state, note);
}

QString changeProject(const QString &id, const QString &flag, const QString &nodes,
                      const QString &performers = "Halvic") {
    return QString("update Programe Set ProPerformer='%1',ProCompleteFlag='%2',ProTask='1',"
                   "ProList='%3' where ProId='%4' and ProFrom='s' and ProDemander='Kestra'")
        .arg(performers, flag, nodes, id);
}

QString changeTask(const QString &content, const QString &state, const QString &note,
                   const QString &performer) {
    return QString("update Task Set TaskCompleteFlag='%1',TaskList='%2',TaskPerformer='%3' where "
                   "TaskId='GD1' and TaskContent='%4' and TaskDemander='Kestra'")
        .arg(state, note, performer, content);
}

QString taskKey(const QString &content) {
    return "TaskId='GD1' and TaskContent='" + content + "' and TaskDemander='Kestra'";
}

} // namespace

class TestServerWorkflow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void whatEachMemberMayDo_data();
    void whatEachMemberMayDo();
    void aChangeOfRowsGoneTouchesNothing_data();
    void aChangeOfRowsGoneTouchesNothing();
    void aReEditIsKeptWholeOrNotAtAll();
    void renamesNeverLeakAnotherLogin();
    void eachMembersNoticesAreBounded();

private:
    // Every stored row of the three tables a change may touch.
    QStringList everything() const;

    std::unique_ptr<ServerProcess> server_;
};

void TestServerWorkflow::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    // A day's quota of notices past the panel's share of one display name,
    // so that the share is what bounds them here.
    server_ = std::make_unique<ServerProcess>(QStringList{"--daily-notice-kb", "1024"},
                                              ServerProcess::storageUnderTest());
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    // Kestra created GD1 (with an open, an applied and a finished task, one
    // more related to Kestra and Halvic, and one due at a time stored without
    // seconds), GD2 (no tasks), GD3 (completed) and GD4 (due at a time stored
    // without seconds); Halvic is their performer and the tasks' related
    // person; Mareth is privileged and takes no part; alvic's display name
    // is a part of Halvic's.
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Login VALUES('tb58','pw','Mareth'),('kestra','k','Kestra'),"
        "('halvic','h','Halvic'),('alvic','h','alvic')"));
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Programe VALUES" +
        project("GD1", "Kestra", "2026-12-20", "No", "n---Kestra", "3") + "," +
        project("GD2", "Kestra") + "," + project("GD3", "Kestra", "2026-12-20", "Yes") + "," +
        project("GD4", "Kestra").replace("09:00:00','No'", "09:00','No'")));
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Task VALUES" + task("open", "Kestra", "", "0") + "," +
        task("applied", "Kestra", "Halvic", "1", "done") + "," +
        task("finished", "Kestra", "Halvic", "2", "ok") + "," +
        task("shared", "Kestra", "", "0").replace("'Halvic')", "'Kestra|Halvic')") + "," +
        task("minute", "Kestra", "", "0").replace("2026-12-20 09:00:00", "2026-12-20 09:00")));
}

void TestServerWorkflow::cleanup() {
    if (server_)
        QVERIFY(server_->stop());
    server_.reset();
}

QStringList TestServerWorkflow::everything() const {
    return server_->queryDatabaseFile(
               "select ProId||'/'||ProFrom||'/'||ProDemander||'/'||ProPerformer||'/'||"
               "ProCompleteTime||'/'||ProCompleteFlag||'/'||ProTask||'/'||ProList from Programe "
               "order by ProId") +
           server_->queryDatabaseFile(
               "select TaskId||'/'||TaskContent||'/'||TaskDemander||'/'||TaskPerformer||'/'||"
               "TaskCompleteTime||'/'||TaskCompleteFlag||'/'||TaskList||'/'||TaskReadTime from "
               "Task order by TaskContent") +
           server_->queryDatabaseFile("select count(*) from Notice");
}

void TestServerWorkflow::whatEachMemberMayDo_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code"); // of a refusal
    const QString exec = "ExecSQL", del = "DelSQL";
    const auto row = [](const char *name, const QString &user, const QString &method,
                        const QString &statement, int status, const QString &code = {}) {
        QTest::newRow(name) << user << method << statement << status << code;
    };

    // Projects.
    row("a project in the own name", "halvic", exec,
        "Insert into Programe values" + project("GD9", "Halvic"), 200);
    row("a project in another's name", "halvic", exec,
        "Insert into Programe values" + project("GD9", "Kestra"), 403, "not-own-name");
    row("any member adds a flow node", "halvic", exec,
        changeProject("GD1", "No", "n---Kestra|m---Halvic"), 200);
    row("a flow node whose text holds the separators", "halvic", exec,
        changeProject("GD1", "No", "n---Kestra|a|b---c---Halvic"), 200);
    row("a flow node signed by another", "halvic", exec,
        changeProject("GD1", "No", "n---Kestra|m---Kestra"), 403, "not-own-name");
    row("a long flow node", "halvic", exec,
        changeProject("GD1", "No", "n---Kestra|" + QString(20 * 1024, 'n') + "---Halvic"), 200);
    row("a performer list over 8 KiB", "halvic", exec,
        "Insert into Programe values('GD9','s','a','c','Halvic','" + QString(8 * 1024 + 1, 'p') +
            "','2026-12-01 09:00:00','2026-12-20 09:00:00','No','0','')",
        403, "too-large");
    row("flow nodes dropped", "halvic", exec, changeProject("GD1", "No", "m---Halvic"), 403,
        "changed-meanwhile");
    row("performers changed with a node", "halvic", exec,
        changeProject("GD1", "No", "n---Kestra", "Halvic|Mareth"), 403, "value-invalid");
    row("the creator completes a project without open tasks", "kestra", exec,
        changeProject("GD2", "Yes", ""), 200);
    row("the creator completes a project with open tasks", "kestra", exec,
        changeProject("GD1", "Yes", "n---Kestra"), 403, "wrong-state");
    row("another member completes a project", "halvic", exec, changeProject("GD2", "Yes", ""), 403,
        "not-creator");
    row("the creator completes a project as YES", "kestra", exec, changeProject("GD2", "YES", ""),
        403, "value-invalid");
    row("a flow node that sets the state NO", "halvic", exec,
        changeProject("GD1", "NO", "n---Kestra|m---Halvic"), 403, "value-invalid");
    row("a project created as no", "halvic", exec,
        "Insert into Programe values" + project("GD9", "Halvic", "2026-12-20", "no"), 403,
        "value-invalid");
    row("a project number taken in another letter case", "halvic", exec,
        "Insert into Programe values" + project("gd1", "Halvic"), 403, "key-taken");
    row("a project number with a blank around it", "halvic", exec,
        "Insert into Programe values" + project("GD9 ", "Halvic"), 403, "value-invalid");
    row("a project due at no time", "halvic", exec,
        "Insert into Programe values" + project("GD9", "Halvic", "2026-13-40"), 403,
        "value-invalid");
    row("a completed project reopened", "kestra", exec, changeProject("GD3", "No", ""), 403,
        "wrong-state");
    row("the creator deletes a project without tasks", "kestra", del,
        "delete Programe Where ProId='GD2'", 200);
    row("the creator deletes a project with tasks", "kestra", del,
        "delete Programe Where ProId='GD1'", 403, "wrong-state");
    row("another member deletes a project", "halvic", del, "delete Programe Where ProId='GD2'", 403,
        "not-creator");
    const auto reEdit = [](const QString &id, const QString &edited) {
        return "delete Programe Where ProId='" + id + "';Insert into Programe values" + edited;
    };
    row("any member re-edits a project", "halvic", exec,
        reEdit("GD2", project("GD2", "Kestra").replace("'s'", "'s2'")), 200);
    row("a re-edit that reopens a completed project", "halvic", exec,
        reEdit("GD3", project("GD3", "Kestra")), 200);
    row("a re-edit keeps a due time stored without seconds", "halvic", exec,
        reEdit("GD4", project("GD4", "Kestra").replace("'s'", "'s2'")), 200);
    row("a re-edit that moves a due time stored without seconds", "halvic", exec,
        reEdit("GD4", project("GD4", "Kestra").replace("09:00:00','No'", "09:01:00','No'")), 403,
        "not-privileged");
    row("a re-edit that sets the state no", "halvic", exec,
        reEdit("GD2", project("GD2", "Kestra", "2026-12-20", "no")), 403, "value-invalid");
    row("a re-edit that moves the due time", "halvic", exec,
        reEdit("GD2", project("GD2", "Kestra", "2026-12-25")), 403, "not-privileged");
    row("a privileged re-edit that moves the due time", "tb58", exec,
        reEdit("GD2", project("GD2", "Kestra", "2026-12-25")), 200);
    row("a re-edit that changes the creator", "halvic", exec,
        reEdit("GD2", project("GD2", "Halvic")), 403, "value-invalid");
    row("a re-edit that renumbers", "halvic", exec, reEdit("GD2", project("GD8", "Kestra")), 403,
        "value-invalid");
    row("a re-edit of a project that is gone", "halvic", exec,
        reEdit("GD7", project("GD7", "Kestra")), 403, "gone");
    row("a re-edit through DelSQL", "halvic", del, reEdit("GD2", project("GD2", "Kestra")), 403,
        "statement-refused");

    // Tasks.
    row("a dispatch in the own name", "halvic", exec,
        "Insert into Task values" + task("new", "Halvic", "", "0"), 200);
    row("a dispatch in another's name", "halvic", exec,
        "Insert into Task values" + task("new", "Kestra", "", "0"), 200);
    row("a dispatch whose key has blanks around it", "halvic", exec,
        "Insert into Task values" + task("new", "Kestra ", "", "0"), 403, "value-invalid");
    row("a dispatch to no project", "halvic", exec,
        "Insert into Task values" + task("new", "Halvic", "", "0", "", "2026-12-20", "GD404"), 403,
        "gone");
    row("a dispatch already claimed", "halvic", exec,
        "Insert into Task values" + task("new", "Halvic", "Halvic", "0"), 403, "value-invalid");
    row("the same dispatch twice", "kestra", exec,
        "Insert into Task values" + task("open", "Kestra", "", "0"), 403, "key-taken");
    row("apply for an open task", "halvic", exec, changeTask("open", "1", "done", ""), 200);
    row("apply and take the performer's place", "tb58", exec,
        changeTask("applied", "1", "done", "Mareth"), 403, "value-invalid");
    row("the dispatcher agrees", "kestra", exec, changeTask("applied", "2", "done", "Halvic"), 200);
    row("the performer agrees", "halvic", exec, changeTask("applied", "2", "done", "Halvic"), 200);
    row("a member taking no part agrees", "tb58", exec,
        changeTask("applied", "2", "done", "Halvic"), 200);
    row("agree with a note other than the applied one", "kestra", exec,
        changeTask("applied", "2", "edited", "Halvic"), 403, "changed-meanwhile");
    row("agree before anyone applied", "kestra", exec, changeTask("open", "2", "", ""), 403,
        "wrong-state");
    row("the dispatcher rejects", "kestra", exec, changeTask("applied", "0", "redo", "Halvic"),
        200);
    row("the performer rejects", "halvic", exec, changeTask("applied", "0", "redo", "Halvic"), 403,
        "not-dispatcher");
    row("a finished task reopened", "kestra", exec, changeTask("finished", "0", "ok", "Halvic"),
        403, "wrong-state");
    row("a claim for oneself", "halvic", exec,
        changeTask("open", "0", "", "Halvic") + " and TaskCompleteFlag='0' and TaskPerformer=''",
        200);
    row("a claim for another", "halvic", exec,
        changeTask("open", "0", "", "Mareth") + " and TaskCompleteFlag='0' and TaskPerformer=''",
        403, "not-own-name");
    const auto receipt = [](const QString &signer) {
        return "update Task Set TaskReadTime='2026-12-02 09:00:00--" + signer + "' where " +
               taskKey("open");
    };
    row("a related person signs the read receipt", "halvic", exec, receipt("Halvic"), 200);
    row("a read receipt in another's name", "halvic", exec, receipt("Kestra"), 403, "not-own-name");
    row("a read receipt by a member not related", "tb58", exec, receipt("Mareth"), 403,
        "not-related");
    row("a read receipt by a part of a related person's name", "alvic", exec, receipt("alvic"), 403,
        "not-related");
    row("a related person of several signs the read receipt", "halvic", exec,
        "update Task Set TaskReadTime='2026-12-02 09:00:00--Halvic' where " + taskKey("shared"),
        200);
    row("the dispatcher deletes a task", "kestra", del, "delete From Task Where " + taskKey("open"),
        200);
    row("another member deletes a task", "halvic", del, "delete From Task Where " + taskKey("open"),
        403, "not-dispatcher");
    const auto reEditTask = [](const QString &content, const QString &edited) {
        return "delete From Task Where " + taskKey(content) + ";Insert into Task values" + edited;
    };
    row("any member re-edits a task", "halvic", exec,
        reEditTask("open", task("open, clearer", "Kestra", "", "0")), 200);
    row("a re-edit that changes the dispatcher", "halvic", exec,
        reEditTask("open", task("open", "Halvic", "", "0")), 200);
    row("a re-edit keeps a required time stored without seconds", "halvic", exec,
        reEditTask("minute", task("minute, clearer", "Kestra", "", "0")), 200);
    row("a re-edit that moves a required time stored without seconds", "halvic", exec,
        reEditTask("minute", task("minute", "Kestra", "", "0", "", "2026-12-21")), 403,
        "not-privileged");
    row("a re-edit that changes the state", "halvic", exec,
        reEditTask("applied", task("applied", "Kestra", "Halvic", "2", "done")), 403,
        "changed-meanwhile");
    row("a re-edit onto another task's key", "halvic", exec,
        reEditTask("open", task("applied", "Kestra", "", "0")), 403, "key-taken");
    row("a re-edit that moves the required time", "halvic", exec,
        reEditTask("open", task("open", "Kestra", "", "0", "", "2026-12-31")), 403,
        "not-privileged");
    row("a privileged re-edit that moves the required time", "tb58", exec,
        reEditTask("open", task("open", "Kestra", "", "0", "", "2026-12-31")), 200);
    row("a re-edit of a task that is gone", "halvic", exec,
        reEditTask("gone", task("gone", "Kestra", "", "0")), 403, "gone");

    // Notices.
    row("a notice in the own name", "halvic", exec,
        "Insert into Notice values('n','Halvic','Kestra','2026-01-01 00:00:00')", 200);
    row("a notice in another's name", "halvic", exec,
        "Insert into Notice values('n','Kestra','Halvic','2026-01-01 00:00:00')", 403,
        "not-own-name");
}

void TestServerWorkflow::whatEachMemberMayDo() {
    QFETCH(QString, user);
    QFETCH(QString, method);
    QFETCH(QString, statement);
    QFETCH(int, status);
    QFETCH(QString, code);
    const QStringList before = everything();
    const Answer answer = call(server_->port(), user, method, statement);
    QVERIFY2(answer.status == status, answer.body.dump().c_str());
    if (status == 200) {
        QVERIFY2(answer.body.value("result", false), answer.body.dump().c_str());
        QVERIFY(answer.body.value("changes", 0) > 0);
        QVERIFY(everything() != before);
    } else {
        QVERIFY2(answer.body.contains("error"), answer.body.dump().c_str());
        QCOMPARE(QString::fromStdString(answer.body.value("code", "")), code);
        QCOMPARE(everything(), before);
    }
}

void TestServerWorkflow::aChangeOfRowsGoneTouchesNothing_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("statement");
    // A project or task another member deleted or re-keyed after it was
    // opened: the change finds no row, says so, and changes nothing.
    const QString gone = "TaskId='GD1' and TaskContent='gone' and TaskDemander='Kestra'";
    QTest::newRow("a flow node") << "halvic"
                                 << "ExecSQL" << changeProject("GD7", "No", "m---Halvic");
    QTest::newRow("a completion") << "kestra"
                                  << "ExecSQL" << changeProject("GD7", "Yes", "");
    QTest::newRow("a task count") << "halvic"
                                  << "ExecSQL"
                                  << "update Programe Set ProTask='2' where ProId='GD7' and "
                                     "ProFrom='s' and ProDemander='Kestra'";
    QTest::newRow("a project deleted") << "kestra"
                                       << "DelSQL"
                                       << "delete Programe Where ProId='GD7'";
    QTest::newRow("a read receipt") << "halvic"
                                    << "ExecSQL"
                                    << "update Task Set TaskReadTime='2026-12-02 09:00:00--Halvic' "
                                       "where " +
                                           gone;
    QTest::newRow("an application") << "halvic"
                                    << "ExecSQL" << changeTask("gone", "1", "done", "");
    QTest::newRow("an agreement") << "halvic"
                                  << "ExecSQL" << changeTask("gone", "2", "done", "Halvic");
    QTest::newRow("a claim of a task claimed meanwhile")
        << "halvic"
        << "ExecSQL"
        << changeTask("applied", "0", "", "Halvic") +
               " and TaskCompleteFlag='0' and TaskPerformer=''";
    QTest::newRow("a task deleted") << "kestra"
                                    << "DelSQL"
                                    << "delete From Task Where " + gone;
}

void TestServerWorkflow::aChangeOfRowsGoneTouchesNothing() {
    QFETCH(QString, user);
    QFETCH(QString, method);
    QFETCH(QString, statement);
    const QStringList before = everything();
    const Answer answer = call(server_->port(), user, method, statement);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, json::parse(R"({"result":true,"changes":0})"));
    QCOMPARE(everything(), before);
}

void TestServerWorkflow::aReEditIsKeptWholeOrNotAtAll() {
    // The insertion fails after the deletion has run: the deletion goes too.
    QVERIFY(server_->refuseChanges("Programe", "insert", "new.ProAim='refuse'"));
    const QStringList before = everything();
    const QString edited =
        "('GD2','s','refuse','c','Kestra','Halvic','2026-12-01 09:00:00','2026-12-20 09:00:00',"
        "'No','0','')";
    const Answer refused =
        call(server_->port(), "kestra", "ExecSQL",
             "delete Programe Where ProId='GD2';Insert into Programe values" + edited);
    QCOMPARE(refused.status, 200);
    QCOMPARE(refused.body.value("result", true), false);
    QCOMPARE(refused.body.value("code", ""), "database");
    QCOMPARE(everything(), before);
    // Replaced in one change: one row, counted as the two it took.
    const Answer kept = call(server_->port(), "kestra", "ExecSQL",
                             "delete Programe Where ProId='GD2';Insert into Programe values" +
                                 project("GD2", "Kestra").replace("'a'", "'aim'"));
    QCOMPARE(kept.body.value("changes", 0), 2);
    QCOMPARE(server_->queryDatabaseFile("select ProAim from Programe where ProId='GD2'"),
             QStringList{"aim"});
}

void TestServerWorkflow::renamesNeverLeakAnotherLogin() {
    // Kestra renames itself back and forth while Halvic asks for the row under
    // the second name: whichever name the row has, Halvic never gets it.
    const int port = server_->port();
    std::atomic<bool> done{false};
    std::atomic<int> renames{0};
    std::thread renamer([&] {
        const QString names[] = {"kestra", "kestra2"};
        for (int i = 0; i < 1000; ++i) {
            const QString from = names[i % 2], to = names[(i + 1) % 2];
            httplib::Client client("127.0.0.1", port);
            client.set_basic_auth(from.toStdString(), "k");
            const auto sql = "update Login Set UseName='" + to +
                             "',PassWord='k',Remark='Kestra' where UseName='" + from +
                             "' and PassWord='k'";
            auto result = client.Post("/datasnap/rest/TZelServerDataBase/ExecSQL",
                                      sql.toStdString(), "text/plain");
            if (result && result->status == 200)
                ++renames;
        }
        done = true;
    });
    int leaked = 0, asked = 0;
    httplib::Client halvic("127.0.0.1", port);
    halvic.set_basic_auth("halvic", "h");
    halvic.set_keep_alive(true);
    while (!done) {
        auto result = halvic.Post("/datasnap/rest/TZelServerDataBase/OpenSQL",
                                  "Select * From Login where UseName='kestra2'", "text/plain");
        if (result && result->status == 200 && !json::parse(result->body)["rows"].empty())
            ++leaked;
        ++asked;
    }
    renamer.join();
    QCOMPARE(renames.load(), 1000);
    QVERIFY(asked > 0);
    QCOMPARE(leaked, 0);
}

void TestServerWorkflow::eachMembersNoticesAreBounded() {
    // 20 KiB notices, as long as one may be: the 13th passes 256 KiB.
    const QString now = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss");
    const auto notice = [&now](const QString &author) {
        return "Insert into Notice values('" + QString(20 * 1024 - 8, 'n') + "','" + author +
               "','','" + now + "')";
    };
    int stored = 0;
    Answer answer;
    while ((answer = call(server_->port(), "halvic", "ExecSQL", notice("Halvic"))).status == 200)
        QVERIFY2(++stored <= 12, "no bound on one member's notices");
    QCOMPARE(stored, 12);
    QCOMPARE(answer.status, 403);
    QVERIFY(answer.body.value("error", std::string()).find("256 KiB") != std::string::npos);
    // Another member's notice still goes in, and every panel is served.
    QCOMPARE(call(server_->port(), "kestra", "ExecSQL", notice("Kestra")).status, 200);
    const Answer panel = call(server_->port(), "kestra", "OpenSQL",
                              "Select * From Notice Where CreateTime>='" + now.left(10) +
                                  "'Order by CreateTime desc");
    QCOMPARE(panel.status, 200);
    QCOMPARE(panel.body["rows"].size(), size_t(13));
}

QTEST_GUILESS_MAIN(TestServerWorkflow)
#include "TestServerWorkflow.moc"
