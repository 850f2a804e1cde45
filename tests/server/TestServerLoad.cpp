// Many members at once: a server with hundreds of database workers keeps its
// memory within its cap. Past what it can take, a member gets a quick 503
// and asks again; no request fails otherwise, and the next ones are served
// as before.

#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>

#include <atomic>
#include <thread>

namespace {

const std::string kOpenSql = "/datasnap/rest/TZelServerDataBase/OpenSQL";

// The task list of one member; every member's is a statement of its own.
std::string taskList(int member) {
    const std::string name = "member " + std::to_string(member);
    return "Select * From Task where TaskDemander='" + name + "' or TaskPerformer like '%" + name +
           "%' or TaskCCList like '%" + name + "%' order by TaskCompleteTime desc";
}

struct Reply {
    int status = 0;
    std::string body;
};

Reply askTaskList(int port, int member) {
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    client.set_connection_timeout(10);
    client.set_read_timeout(30);
    auto result = client.Post(kOpenSql, taskList(member), "text/plain");
    return result ? Reply{result->status, result->body} : Reply{};
}

} // namespace

class TestServerLoad : public QObject {
    Q_OBJECT
private slots:
    void manyTaskListsAtOnceStayWithinMemory();
};

void TestServerLoad::manyTaskListsAtOnceStayWithinMemory() {
    // Each worker's page cache would fill with the whole Task table (some
    // 4 MiB); 256 of SQLite's default caches would reach the server's cap.
    // Two cores share 256 workers here: a long time limit keeps slowness
    // from counting as what this looks for.
    ServerProcess server({"--threads", "256", "--per-address", "0", "--statement-ms", "60000"});
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    QVERIFY(server.addTestMember());
    QVERIFY(server.execOnDatabaseFile(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<20000) "
        "INSERT INTO Task SELECT 'P'||(i/5), 'task '||i||' '||hex(randomblob(40)), "
        "'member '||(i%50), 'member '||((i+1)%50)||'|member '||((i+2)%50), "
        "'2026-11-01 09:00:00', '2026-12-01 09:00:00', '0', '', '', "
        "'member '||((i+3)%50)||'|member '||((i+4)%50) FROM n"));

    constexpr int kMembers = 900;
    std::vector<Reply> replies(kMembers);
    std::vector<std::thread> members;
    for (int i = 0; i < kMembers; ++i)
        members.emplace_back(
            [&, i] { replies[i] = askTaskList(server.port(), i % 50 + 1000 * (i / 50)); });
    for (auto &member : members)
        member.join();
    int served = 0;
    for (int i = 0; i < kMembers; ++i) {
        QVERIFY2(replies[i].status == 200 || replies[i].status == 503,
                 qPrintable(QString("member %1 got %2 %3")
                                .arg(i)
                                .arg(replies[i].status)
                                .arg(QString::fromStdString(replies[i].body.substr(0, 200)))));
        served += replies[i].status == 200;
    }
    QVERIFY(served > 0);
    // The load is gone: the next members are served at once.
    for (int member = 0; member < 50; ++member)
        QCOMPARE(askTaskList(server.port(), member).status, 200);
    QVERIFY(server.stop());
}

QTEST_GUILESS_MAIN(TestServerLoad)
#include "TestServerLoad.moc"
