// The application server under abuse from one person on the department's
// network with nothing but a socket: held and trickling connections, huge
// requests, answers meant to fill the memory, statements meant to hold a
// worker, writes meant to hold the lock. Each time the server must stay up
// for everyone else, within stated bounds.

#include "support/RawSockets.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

using nlohmann::json;

namespace {

const std::string kMethods = "/datasnap/rest/TZelServerDataBase/";

struct Answer {
    int status = 0;
    json body;
    qint64 millis = 0;
};

Answer call(int port, const std::string &method, const std::string &sql) {
    QElapsedTimer timer;
    timer.start();
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    client.set_read_timeout(20);
    auto result = client.Post(kMethods + method, sql, "text/plain");
    if (!result)
        return {0, json(), timer.elapsed()};
    return {result->status, json::parse(result->body, nullptr, false), timer.elapsed()};
}

std::string errorOf(const Answer &answer) {
    return answer.body.is_object() ? answer.body.value("error", "") : "";
}

// A member's ordinary round trip, the handshake and a query, on a fresh
// connection; its milliseconds, or -1 when either failed.
qint64 ordinaryRoundTripMs(int port) {
    QElapsedTimer timer;
    timer.start();
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    client.set_connection_timeout(3);
    client.set_read_timeout(3);
    auto hello = client.Get("/datasnap/");
    auto rows = client.Post(kMethods + "OpenSQL", "Select * From Login", "text/plain");
    if (!hello || hello->status != 200 || !rows || rows->status != 200)
        return -1;
    return timer.elapsed();
}

// A field of /proc/<pid>/status in MiB: VmHWM is the peak resident memory.
long memoryMiB(qint64 pid, const std::string &field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1) / 1024;
    return -1;
}

// Reports a measured figure, so that every run shows them, and whether it
// lies within [0, bound).
bool within(const char *what, qint64 figure, qint64 bound, const char *unit) {
    qInfo("%s: %lld %s (bound %lld)", what, static_cast<long long>(figure), unit,
          static_cast<long long>(bound));
    return figure >= 0 && figure < bound;
}

std::string request(const std::string &path, const std::string &headers, const std::string &body) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           ServerProcess::testAuthorizationHeader() + headers + "\r\n" + body;
}

std::string openSqlRequest(const std::string &sql) {
    return request(kMethods + "OpenSQL", "Content-Length: " + std::to_string(sql.size()) + "\r\n",
                   sql);
}

// count rows for an INSERT's VALUES, each made by row from its number.
template <class Row> std::string values(int count, Row row) {
    std::string sql;
    for (int i = 0; i < count; ++i)
        sql += std::string(i ? "," : "") + row(i);
    return sql;
}

// Threads that are joined when it goes, however the test leaves.
class JoiningThreads {
public:
    ~JoiningThreads() {
        for (auto &thread : threads_)
            thread.join();
    }
    template <class Work> void run(Work work) { threads_.emplace_back(std::move(work)); }

private:
    std::vector<std::thread> threads_;
};

// Sends sql count times at once, each on a connection of its own, runs
// meanwhile while they are under way, and returns their answers.
std::vector<Answer> callTogether(
    int port, int count, const std::string &sql, const std::function<void()> &meanwhile = [] {}) {
    std::vector<Answer> answers(count);
    {
        JoiningThreads clients;
        for (auto &answer : answers)
            clients.run([&answer, port, sql] { answer = call(port, "OpenSQL", sql); });
        meanwhile();
    }
    return answers;
}

} // namespace

class TestServerAbuse : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void heldConnectionsLeaveOthersServed_data();
    void heldConnectionsLeaveOthersServed();
    void hugeHeaderBlockIsRefusedInLittleMemory();
    void valueLengthIsCapped();
    void largeAnswersStopWithinTheirLimit();
    void unreadAnswersHoldBoundedMemory();
    void fullQueueAnswersBusyAtOnce();
    void stoppingAnswersWhatWaits();
    void costlyRowsStopInTime_data();
    void costlyRowsStopInTime();
    void writesWaitTheirTurn();
    void ambiguousRequestsAreRefused_data();
    void ambiguousRequestsAreRefused();
    void rangeIsIgnoredOnPost();

private:
    // Starts a server with default limits but for extra, holding a few members.
    int startServer(const QStringList &extra = {});
    std::unique_ptr<ServerProcess> server_;
};

void TestServerAbuse::initTestCase() {
    raiseDescriptorLimit();
}

int TestServerAbuse::startServer(const QStringList &extra) {
    // Two database workers whatever the machine, so the memory bounds below hold.
    // The attacks use statements no client sends: the guard is what they test.
    server_ = std::make_unique<ServerProcess>(QStringList{"--threads", "2", "--statements", "any"} +
                                              extra);
    if (!server_->start() || !server_->addTestMember())
        return 0;
    const auto members =
        values(7, [](int i) { return "('member" + std::to_string(i) + "','pw','Member')"; });
    return call(server_->port(), "ExecSQL", "Insert into Login values" + members)
                       .body.value("changes", 0) == 7
               ? server_->port()
               : 0;
}

void TestServerAbuse::cleanup() {
    if (server_)
        QVERIFY(server_->stop());
    server_.reset();
}

void TestServerAbuse::heldConnectionsLeaveOthersServed_data() {
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<int>("connections");
    QTest::addColumn<QByteArray>("sent"); // by each connection once open
    QTest::addColumn<bool>("answered");   // whether each expects an answer to it
    QTest::addColumn<int>("keptOpen");    // by the server, at most
    const QStringList noAddressLimit{"--per-address", "0"};
    const QByteArray partial = "POST /datasnap/rest/TZelServerDataBase/OpenSQL HTTP/1.1\r\nHo";
    const QByteArray whole = QByteArray::fromStdString(openSqlRequest("select 1"));
    QTest::newRow("70 sending a byte at a time") << noAddressLimit << 70 << partial << false << 70;
    QTest::newRow("64 kept-alive clients between requests")
        << noAddressLimit << 64 << whole << true << 64;
    QTest::newRow("1,000 idle connections") << QStringList() << 1000 << QByteArray() << false << 32;
    QTest::newRow("10,000 connections held")
        << QStringList() << 10000 << QByteArray() << false << 32;
}

void TestServerAbuse::heldConnectionsLeaveOthersServed() {
    QFETCH(QStringList, flags);
    QFETCH(int, connections);
    QFETCH(QByteArray, sent);
    QFETCH(bool, answered);
    QFETCH(int, keptOpen);
    const int port = startServer(flags);
    QVERIFY2(port, qPrintable(server_->errorText()));

    RawSockets attack;
    QVERIFY2(attack.open(port, connections), "this process may not open that many sockets");
    if (!sent.isEmpty()) {
        QCOMPARE(attack.established(5000), connections);
        attack.sendToAll(sent.toStdString());
        if (answered)
            QCOMPARE(attack.readStatuses(5000), std::vector<int>(connections, 200));
        else
            attack.sendToAll("s"); // and one more byte, as a slow client would
    }
    // Ordinary clients are served while the connections are held, whether the
    // server keeps them or turns the excess away.
    QVERIFY(within("ordinary round trip as they come", ordinaryRoundTripMs(port), 1000, "ms"));
    QVERIFY(attack.waitUntilOpenAtMost(keptOpen, 20000) <= keptOpen);
    QVERIFY(within("ordinary round trip while held", ordinaryRoundTripMs(port), 1000, "ms"));
}

void TestServerAbuse::hugeHeaderBlockIsRefusedInLittleMemory() {
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    std::string headers;
    for (int i = 0; i < 1000000; ++i)
        headers += "X-" + std::to_string(i) + ": y\r\n";
    const std::string answer = RawSockets::exchange(
        port, request(kMethods + "OpenSQL", headers + "Content-Length: 8\r\n", "select 1"), 10000,
        "127.0.0.2");
    QCOMPARE(RawSockets::statusOf(answer), 431);
    QVERIFY2(ordinaryRoundTripMs(port) >= 0, "the server stopped answering");
    QVERIFY(within("server's peak memory", memoryMiB(server_->pid(), "VmHWM"), 64, "MiB"));
}

void TestServerAbuse::valueLengthIsCapped() {
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    // 52 bytes asking for 50 MB on every row, three times at once.
    for (const Answer &answer :
         callTogether(port, 3, "SELECT printf('%.*c', 50000000, 'x') FROM Login")) {
        QCOMPARE(answer.status, 400);
        QVERIFY2(errorOf(answer).find("printf() refused") != std::string::npos,
                 answer.body.dump().c_str());
    }
    // 18 MB made of 3 MB in steps that each stay within what one call may do.
    const Answer tooLong =
        call(port, "OpenSQL", "select hex(replace(printf('%.*c', 3000000, 'x'), 'x', 'xxx'))");
    QCOMPARE(tooLong.status, 400);
    QVERIFY2(errorOf(tooLong).find("longer than 16777216 bytes") != std::string::npos,
             tooLong.body.dump().c_str());
    QVERIFY(within("server's peak memory", memoryMiB(server_->pid(), "VmHWM"), 100, "MiB"));
}

void TestServerAbuse::largeAnswersStopWithinTheirLimit() {
    // The answer's size is what stops these, however slow the machine.
    const int port = startServer({"--statement-ms", "60000"});
    QVERIFY2(port, qPrintable(server_->errorText()));
    // 64 rows of 4 MB: 256 MB of JSON asked for, three times at once.
    qint64 duringMs = -1;
    const auto answers =
        callTogether(port, 3, "select printf('%.*c', 4000000, a.UseName) from Login a, Login b",
                     [&] { duringMs = ordinaryRoundTripMs(port); });
    for (const Answer &answer : answers) {
        QCOMPARE(answer.status, 400);
        QVERIFY2(errorOf(answer).find("result too large") != std::string::npos &&
                     errorOf(answer).find("64 MiB") != std::string::npos,
                 answer.body.dump().c_str());
    }
    QVERIFY(within("ordinary round trip meanwhile", duringMs, 1000, "ms"));
    // Two workers, each with at most one answer near its 64 MiB limit and one
    // 16 MiB value of SQLite's, over the server's own ~20 MiB.
    QVERIFY(within("server's peak memory", memoryMiB(server_->pid(), "VmHWM"), 220, "MiB"));
    QVERIFY(within("server's memory after", memoryMiB(server_->pid(), "VmRSS"), 100, "MiB"));
}

void TestServerAbuse::unreadAnswersHoldBoundedMemory() {
    // Two readers with answers up to 16 MiB: 32 MiB of large answers at once.
    // None is kept for reuse, so each reader's answer is its own and holds
    // its worker until it is read.
    const int port = startServer({"--max-answer-mb", "16", "--kept-answers-mb", "1"});
    QVERIFY2(port, qPrintable(server_->errorText()));
    // 15 MB each, more than the kernel's socket buffers take off the server.
    const std::string large = "select printf('%.*c', 3000000, UseName) from Login limit 5";
    RawSockets readers;
    QVERIFY(readers.open(port, 20));
    QCOMPARE(readers.established(5000), 20);
    readers.sendToAll(openSqlRequest(large));
    // Every one is answered, at least in part, and none reads on.
    QCOMPARE(readers.waitUntilReadable(10000), 20);

    const Answer refused = call(port, "OpenSQL", large);
    QCOMPARE(refused.status, 503);
    QVERIFY(errorOf(refused).find("busy") != std::string::npos);
    QVERIFY(within("ordinary round trip meanwhile", ordinaryRoundTripMs(port), 1000, "ms"));
    // 300 MB asked for; the budget and the server's own ~20 MiB are held.
    QVERIFY(within("server's peak memory", memoryMiB(server_->pid(), "VmHWM"), 100, "MiB"));

    readers.closeAll(); // the server sees them go and gives their answers up
    QDeadlineTimer deadline(5000);
    Answer served;
    while (served.status != 200 && !deadline.hasExpired())
        served = call(port, "OpenSQL", large);
    QCOMPARE(served.status, 200);
}

void TestServerAbuse::fullQueueAnswersBusyAtOnce() {
    const int port = startServer({"--threads", "1", "--queue", "1", "--statement-ms", "1000"});
    QVERIFY2(port, qPrintable(server_->errorText()));
    // One runs and one waits; a third arriving meanwhile finds the queue full
    // (so may the second, if it comes before the worker has taken the first).
    // The one that waits has its second too, from its arrival: it is stopped
    // or answered busy, whichever comes first.
    // Some minutes of work on any machine: it never ends within its second.
    const std::string slow = "select count(*) from Login a, Login b, Login c, Login d, Login e, "
                             "Login f, Login g, Login h, Login i, Login j, Login k, Login l";
    int busy = 0;
    for (const Answer &answer : callTogether(port, 3, slow)) {
        if (answer.status == 503) {
            ++busy;
            QVERIFY(errorOf(answer).find("busy") != std::string::npos);
            // A full queue answers at once; the one that waited is answered
            // when its second, counted from its arrival, is up.
            if (errorOf(answer).find("waited too long") != std::string::npos)
                QVERIFY(within("answer after waiting", answer.millis, 1500, "ms"));
            else
                QVERIFY(within("busy answer", answer.millis, 500, "ms"));
        } else {
            QCOMPARE(answer.status, 400);
            QVERIFY(errorOf(answer).find("longer than 1000 ms") != std::string::npos);
        }
    }
    QVERIFY(busy >= 1 && busy <= 2);
}

void TestServerAbuse::stoppingAnswersWhatWaits() {
    const int port = startServer({"--threads", "1", "--statement-ms", "1000"});
    QVERIFY2(port, qPrintable(server_->errorText()));
    RawSockets clients("127.0.0.1");
    QVERIFY(clients.open(port, 4));
    QCOMPARE(clients.established(5000), 4);
    clients.sendToAll(openSqlRequest("select count(*) from Login a, Login b, Login c, Login d, "
                                     "Login e, Login f, Login g, Login h, Login i"));
    // The statement under way ends at its limit; those waiting behind it are
    // answered at once rather than run first. (A request the server had not
    // read yet when told to stop is not answered: its connection is closed.)
    QElapsedTimer stopping;
    stopping.start();
    QVERIFY(server_->stop());
    QVERIFY(within("stopping took", stopping.elapsed(), 2000, "ms"));
    for (int status : clients.readStatuses(1000))
        QVERIFY2(status == 400 || status == 503 || status == 0,
                 qPrintable(QString::number(status)));
}

void TestServerAbuse::costlyRowsStopInTime_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("stoppedBecause");
    const QString limit = "longer than 500 ms";
    const QString refused = "refused: its values are too long";
    // Each row costs a function call that SQLite's checks between rows cannot
    // cut short: the call must be bounded, the rows stopped in time.
    QTest::newRow("as sent, 60 MB asked for on every row")
        << "select length(replace(printf('%.*c',60000000,a.UseName),a.UseName,'yy')) "
           "from Login a, Login b"
        << refused;
    QTest::newRow("4 MB replaced on every row")
        << "select length(replace(printf('%.*c', 4000000, a.UseName), a.UseName, 'yy')) "
           "from Login a, Login b, Login c"
        << limit;
    QTest::newRow("a long pattern matched on every row")
        << "select printf('%.*c', 200000 + length(a.UseName || b.UseName), 'x') like '%' || "
           "printf('%.*c', 60, 'x') || 'y' from Login a, Login b, Login c"
        << limit;
    QTest::newRow("replace with a long pattern")
        << "select replace(printf('%.*c', 4000000, 'x'), printf('%.*c', 1000000, 'x') || 'y', "
           "'z')"
        << refused;
    QTest::newRow("instr with a long needle")
        << "select instr(printf('%.*c', 4000000, 'x'), printf('%.*c', 1000000, 'x') || 'y')"
        << refused;
    QTest::newRow("trim with a long set")
        << "select trim(printf('%.*c', 4000000, 'x'), printf('%.*c', 1000000, 'y') || 'x')"
        << refused;
    QTest::newRow("like with a long pattern")
        << "select printf('%.*c', 4000000, 'x') like '%' || printf('%.*c', 40000, 'x') || 'y'"
        << refused;
    QTest::newRow("glob with a long pattern")
        << "select printf('%.*c', 4000000, 'x') glob '*' || printf('%.*c', 40000, 'x') || 'y'"
        << refused;
}

void TestServerAbuse::costlyRowsStopInTime() {
    QFETCH(QString, sql);
    QFETCH(QString, stoppedBecause);
    const int port = startServer({"--statement-ms", "500"});
    QVERIFY2(port, qPrintable(server_->errorText()));
    const Answer answer = call(port, "OpenSQL", sql.toStdString());
    QCOMPARE(answer.status, 400);
    QVERIFY2(errorOf(answer).find(stoppedBecause.toStdString()) != std::string::npos,
             answer.body.dump().c_str());
    // Within about a tenth of the limit, round trip included.
    QVERIFY(within("stopped after", answer.millis, 550, "ms"));
}

void TestServerAbuse::writesWaitTheirTurn() {
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    QCOMPARE(call(port, "ExecSQL",
                  "Insert into Notice values" +
                      values(100, [](int) { return "('n','d','p','2026-11-17')"; }))
                 .body.value("changes", 0),
             100);
    // Three clients loop a change whose subquery would run for minutes: each
    // is stopped at the limit for changes, and holds the writer until then.
    std::atomic<bool> ordinaryDone{false};
    std::atomic<int> stopped{0};
    std::promise<void> firstStopped;
    std::vector<Answer> ordinary(24);
    {
        JoiningThreads attackers;
        for (int a = 0; a < 3; ++a)
            attackers.run([&] {
                for (int i = 0; i < 20 && !ordinaryDone; ++i) {
                    const Answer answer =
                        call(port, "ExecSQL",
                             "update Login set Remark=Remark where (select count(*) from "
                             "Notice a, Notice b, Notice c, Notice d, Notice e) > 0");
                    if (answer.body.value("result", true) == false &&
                        errorOf(answer).find("longer than 1000 ms") != std::string::npos &&
                        stopped++ == 0)
                        firstStopped.set_value();
                }
            });
        const bool underWay = firstStopped.get_future().wait_for(std::chrono::seconds(10)) ==
                              std::future_status::ready;
        {
            JoiningThreads writers;
            for (size_t w = 0; underWay && w < ordinary.size(); ++w)
                writers.run([&, w] {
                    ordinary[w] = call(port, "ExecSQL",
                                       "Insert into Notice values('W" + std::to_string(w) +
                                           "','Mareth','p','2026-11-17')");
                });
        }
        ordinaryDone = true;
        QVERIFY2(underWay, "the looping changes were not stopped at their limit");
    }
    for (const Answer &answer : ordinary) {
        QVERIFY2(answer.status == 200 && answer.body.value("result", false),
                 answer.body.dump().c_str());
        // Behind at most the three changes ahead of it, well inside the
        // client's 8 s read timeout.
        QVERIFY(within("ordinary write", answer.millis, 5000, "ms"));
    }
    QCOMPARE(call(port, "OpenSQL", "select * from Notice where Content like 'W%'").body["rows"].size(),
             ordinary.size());
}

void TestServerAbuse::ambiguousRequestsAreRefused_data() {
    QTest::addColumn<QByteArray>("sent");
    const std::string path = kMethods + "OpenSQL";
    QTest::newRow("two different lengths") << QByteArray::fromStdString(
        request(path, "Content-Length: 8\r\nContent-Length: 30\r\n", "select 1"));
    QTest::newRow("the same length twice") << QByteArray::fromStdString(
        request(path, "Content-Length: 8\r\nContent-Length: 8\r\n", "select 1"));
    QTest::newRow("a length and chunks") << QByteArray::fromStdString(request(
        path, "Content-Length: 8\r\nTransfer-Encoding: chunked\r\n", "8\r\nselect 1\r\n0\r\n\r\n"));
    QTest::newRow("chunks and a length") << QByteArray::fromStdString(request(
        path, "Transfer-Encoding: chunked\r\nContent-Length: 8\r\n", "8\r\nselect 1\r\n0\r\n\r\n"));
}

void TestServerAbuse::ambiguousRequestsAreRefused() {
    QFETCH(QByteArray, sent);
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    const std::string answer = RawSockets::exchange(port, sent.toStdString(), 5000);
    QCOMPARE(RawSockets::statusOf(answer), 400);
    QVERIFY(json::parse(RawSockets::bodyOf(answer), nullptr, false).contains("error"));
}

void TestServerAbuse::rangeIsIgnoredOnPost() {
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    const std::string sql = "select UseName, PassWord from Login";
    const std::string plain = RawSockets::exchange(port, openSqlRequest(sql), 5000);
    const std::string ranged = RawSockets::exchange(
        port,
        request(kMethods + "OpenSQL",
                "Range: bytes=0-9\r\nContent-Length: " + std::to_string(sql.size()) + "\r\n", sql),
        5000);
    QCOMPARE(RawSockets::statusOf(ranged), 200);
    QCOMPARE(RawSockets::bodyOf(ranged), RawSockets::bodyOf(plain));
    QCOMPARE(json::parse(RawSockets::bodyOf(ranged))["rows"].size(), size_t(8));
}

QTEST_GUILESS_MAIN(TestServerAbuse)
#include "TestServerAbuse.moc"
