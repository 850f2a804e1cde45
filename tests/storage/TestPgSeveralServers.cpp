// Several servers on one PostgreSQL database: members working at once through
// either of them are never refused because the other server wrote meanwhile,
// and a task claimed by several members at the same moment goes to one of
// them while every other claim is told it changed nothing; so does a project
// number two members take at once in different letter case.

#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

using nlohmann::json;

namespace {

constexpr int kMembers = 8;
const std::string kMethods = "/datasnap/rest/TZelServerDataBase/";

std::string login(int member) { return "m" + std::to_string(member); }
std::string nameOf(int member) { return "Member" + std::to_string(member); }
std::string projectOf(int member) { return "P" + std::to_string(member); }

struct Answer {
    int status = 0;
    json body;
};

Answer exec(int port, int member, const std::string &sql) {
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(login(member), "pw");
    client.set_read_timeout(20);
    auto result = client.Post(kMethods + "ExecSQL", sql, "text/plain");
    if (!result)
        return {};
    return {result->status, json::parse(result->body, nullptr, false)};
}

std::string projectRow(int member) {
    return "('" + projectOf(member) + "','s','a','c','" + nameOf(member) + "','" + nameOf(member) +
           "','2026-12-01 09:00:00','2026-12-20 09:00:00','No','0','')";
}

std::string taskRow(const std::string &project, const std::string &content,
                    const std::string &demander) {
    return "('" + project + "','" + content + "','" + demander +
           "','','2026-12-01 09:00:00','2026-12-20 09:00:00','0','','','" + demander + "')";
}

std::string taskKey(const std::string &project, const std::string &content,
                    const std::string &demander) {
    return "TaskId='" + project + "' and TaskContent='" + content + "' and TaskDemander='" +
           demander + "'";
}

// One member's day at the keyboard, as the client words each change.
std::vector<std::string> workOf(int member, int round) {
    const std::string project = projectOf(member), name = nameOf(member);
    const std::string content = "t" + std::to_string(round);
    return {"delete Programe Where ProId='" + project + "';Insert into Programe values" +
                projectRow(member),
            "Insert into Task values" + taskRow(project, content, name),
            "delete From Task Where " + taskKey(project, content, name) +
                ";Insert into Task values" + taskRow(project, content, name),
            "Insert into Notice values('" + content + "','" + name + "','" + name +
                "','2026-12-01 09:00:00')"};
}

} // namespace

class TestPgSeveralServers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void everyMembersChangesAreMade();
    void aTaskClaimedAtOnceGoesToOne();
    void aProjectNumberTakenAtOnceGoesToOne();

private:
    std::unique_ptr<PgTestDatabase> database_;
    std::vector<std::unique_ptr<ServerProcess>> servers_;
    int portFor(int turn) const { return servers_[size_t(turn) % servers_.size()]->port(); }
};

void TestPgSeveralServers::init() {
    if (!PgTestDatabase::unavailableReason().isEmpty())
        QSKIP(qPrintable(PgTestDatabase::unavailableReason()));
    database_ = std::make_unique<PgTestDatabase>();
    QVERIFY2(database_->create(ServerProcess::binary()), qPrintable(database_->errorText()));
    QString scene;
    for (int m = 0; m < kMembers; ++m)
        scene += QString::fromStdString("INSERT INTO \"Login\" VALUES('" + login(m) + "','pw','" +
                                        nameOf(m) + "'); INSERT INTO \"Programe\" VALUES" +
                                        projectRow(m) + ";");
    QVERIFY(database_->execAsOwner(scene));
    for (int s = 0; s < 2; ++s) {
        servers_.push_back(
            std::make_unique<ServerProcess>(QStringList{}, ServerProcess::Storage::Postgres));
        servers_.back()->setDatabase(database_->serverConnection());
        QVERIFY2(servers_.back()->start(), qPrintable(servers_.back()->errorText()));
    }
}

void TestPgSeveralServers::cleanup() {
    for (auto &server : servers_)
        QVERIFY(server->stop());
    servers_.clear();
    database_.reset();
}

void TestPgSeveralServers::everyMembersChangesAreMade() {
    // Each member re-edits the own project, dispatches a task, re-edits it and
    // adds a notice, each change through the other server than the last.
    constexpr int kRounds = 25;
    std::mutex mutex;
    std::map<std::string, int> failures; // what a change was told, by how often
    int made = 0;
    std::vector<std::thread> members;
    for (int m = 0; m < kMembers; ++m)
        members.emplace_back([&, m] {
            int turn = m;
            for (int round = 0; round < kRounds; ++round)
                for (const std::string &change : workOf(m, round)) {
                    const Answer answer = exec(portFor(turn++), m, change);
                    std::lock_guard<std::mutex> lock(mutex);
                    if (answer.status == 200 && answer.body.value("result", false) &&
                        answer.body.value("changes", 0) > 0)
                        ++made;
                    else
                        ++failures[std::to_string(answer.status) + " " + answer.body.dump() +
                                   " for " + change.substr(0, 30)];
                }
        });
    for (auto &member : members)
        member.join();
    for (const auto &[what, times] : failures)
        qWarning("%d times: %s", times, what.c_str());
    QVERIFY(failures.empty());
    QCOMPARE(made, kMembers * kRounds * 4);
    const QStringList tasks = database_->queryAsOwner("SELECT count(*) FROM \"Task\"");
    QCOMPARE(tasks, QStringList{QString::number(kMembers * kRounds)});
}

void TestPgSeveralServers::aTaskClaimedAtOnceGoesToOne() {
    constexpr int kTasks = 30, kClaimants = 4;
    QString scene;
    for (int t = 0; t < kTasks; ++t)
        scene += QString::fromStdString("INSERT INTO \"Task\" VALUES" +
                                        taskRow(projectOf(0), "c" + std::to_string(t), nameOf(0)) +
                                        ";");
    QVERIFY(database_->execAsOwner(scene));
    int won = 0, lost = 0;
    std::vector<std::string> otherwise;
    for (int t = 0; t < kTasks; ++t) {
        const std::string key = taskKey(projectOf(0), "c" + std::to_string(t), nameOf(0));
        std::atomic<int> ready{0};
        std::vector<Answer> answers(kClaimants);
        std::vector<std::thread> claimants;
        for (int c = 0; c < kClaimants; ++c)
            claimants.emplace_back([&, c] {
                const int member = 1 + c;
                const std::string claim =
                    "update Task Set TaskCompleteFlag='0',TaskList='',TaskPerformer='" +
                    nameOf(member) + "' where " + key +
                    " and TaskCompleteFlag='0' and TaskPerformer=''";
                // All four go at once, two through each server.
                ++ready;
                while (ready.load() < kClaimants)
                    std::this_thread::yield();
                answers[size_t(c)] = exec(portFor(c), member, claim);
            });
        for (auto &claimant : claimants)
            claimant.join();
        int claimedBy = 0;
        for (const Answer &answer : answers) {
            const bool ok = answer.status == 200 && answer.body.value("result", false);
            const int changes = answer.body.is_object() ? answer.body.value("changes", -1) : -1;
            if (ok && changes == 1)
                ++claimedBy;
            else if (ok && changes == 0)
                ++lost;
            else
                otherwise.push_back(std::to_string(answer.status) + " " + answer.body.dump());
        }
        won += claimedBy;
        QVERIFY2(claimedBy == 1, qPrintable(QString("task %1 claimed %2 times").arg(t).arg(claimedBy)));
    }
    for (const std::string &what : otherwise)
        qWarning("a claim was told %s", what.c_str());
    QVERIFY(otherwise.empty());
    QCOMPARE(won, kTasks);
    QCOMPARE(lost, kTasks * (kClaimants - 1));
    QCOMPARE(database_->queryAsOwner(
                 "SELECT count(*) FROM \"Task\" WHERE \"TaskPerformer\" <> ''"),
             QStringList{QString::number(kTasks)});
}

void TestPgSeveralServers::aProjectNumberTakenAtOnceGoesToOne() {
    // The rule that a number is free reads no row the other change writes:
    // only the database's own check of the two together keeps both from passing.
    constexpr int kRounds = 30;
    int made = 0, refused = 0;
    std::vector<std::string> otherwise;
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> ready{0};
        std::vector<Answer> answers(2);
        std::vector<std::thread> members;
        for (int m = 0; m < 2; ++m)
            members.emplace_back([&, m] {
                std::string row = projectRow(m);
                const std::string number = (m ? "n" : "N") + std::to_string(round);
                row.replace(2, projectOf(m).size(), number);
                ++ready;
                while (ready.load() < 2)
                    std::this_thread::yield();
                answers[size_t(m)] = exec(portFor(m), m, "Insert into Programe values" + row);
            });
        for (auto &member : members)
            member.join();
        for (const Answer &answer : answers)
            if (answer.status == 200 && answer.body.value("result", false))
                ++made;
            else if (answer.status == 403 && answer.body.value("code", "") == "key-taken")
                ++refused;
            else
                otherwise.push_back(std::to_string(answer.status) + " " + answer.body.dump());
    }
    for (const std::string &what : otherwise)
        qWarning("a new project was told %s", what.c_str());
    QVERIFY(otherwise.empty());
    QCOMPARE(made, kRounds);
    QCOMPARE(refused, kRounds);
    // Every round's number is taken once, in one letter case.
    QCOMPARE(database_->queryAsOwner("SELECT count(DISTINCT lower(\"ProId\")) || ' ' || "
                                     "count(*) FROM \"Programe\" WHERE \"ProId\" ILIKE 'n%'"),
             QStringList{QString("%1 %1").arg(kRounds)});
}

QTEST_GUILESS_MAIN(TestPgSeveralServers)
#include "TestPgSeveralServers.moc"
