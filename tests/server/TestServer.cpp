// The application server as a client meets it: the wire protocol, the
// statements it refuses, the keys it keeps, durability and concurrent writers.
// The suite runs once per storage (SOLVANE_TEST_STORAGE, see ServerProcess).

#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <atomic>
#include <thread>

using nlohmann::json;

namespace {

struct Answer {
    int status = 0;
    json body;
};

Answer request(int port, const std::string &verb, const std::string &path,
               const std::string &body = {},
               const std::string &password = ServerProcess::kTestPassword) {
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(ServerProcess::kTestUser, password);
    client.set_read_timeout(10);
    httplib::Result result = verb == "GET"   ? client.Get(path)
                             : verb == "PUT" ? client.Put(path, body, "text/plain")
                                             : client.Post(path, body, "text/plain");
    if (!result)
        return {};
    return {result->status, json::parse(result->body, nullptr, false)};
}

Answer call(int port, const std::string &method, const std::string &sql) {
    return request(port, "POST", "/datasnap/rest/TZelServerDataBase/" + method, sql);
}

size_t rowCount(int port, const std::string &sql) {
    Answer answer = call(port, "OpenSQL", sql);
    return answer.status == 200 ? answer.body["rows"].size() : size_t(-1);
}

// The Login table of the server's earlier versions, whose login names compared
// with letter case everywhere but in the unique index.
const QString kEarlierLoginTable =
    "DROP TABLE Login;"
    "CREATE TABLE Login(UseName TEXT, PassWord TEXT, Remark TEXT);"
    "CREATE UNIQUE INDEX Login_UseName ON Login(UseName COLLATE NOCASE);";

} // namespace

class TestServer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void handshake();
    void protocolErrors_data();
    void protocolErrors();
    void selectAnswersColumnsAndRows();
    void refusedStatementsChangeNothing_data();
    void refusedStatementsChangeNothing();
    void deleteWithoutFromIsAccepted();
    void replaceAsAWordIsAccepted();
    void guardedFunctionsAnswerAsSqlite_data();
    void guardedFunctionsAnswerAsSqlite();
    void uniqueKeys();
    void loginNamesIgnoreLetterCasePasswordsDoNot_data();
    void loginNamesIgnoreLetterCasePasswordsDoNot();
    void longStatementIsStopped();
    void dataSurvivesRestart();
    void concurrentWritersLoseNothing();
    void twoServersServeOneDatabase();
    void passwordChangedThroughOneServerCountsOnTheOther();

private:
    std::unique_ptr<ServerProcess> server_;
};

void TestServer::init() {
    const auto storage = ServerProcess::storageUnderTest();
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    server_ = std::make_unique<ServerProcess>(
        QStringList{"--statement-ms", "300", "--statements", "any"}, storage);
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QVERIFY(server_->addTestMember());
}

void TestServer::cleanup() {
    if (!server_)
        return;
    QVERIFY(server_->stop());
    server_.reset();
}

void TestServer::handshake() {
    Answer answer = request(server_->port(), "GET", "/datasnap/");
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, json::parse(R"({"server":"TZelServerDataBase",
                                          "methods":["OpenSQL","ExecSQL","DelSQL"]})"));
}

void TestServer::protocolErrors_data() {
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    const QString open = "/datasnap/rest/TZelServerDataBase/OpenSQL";
    QTest::newRow("unknown path") << "GET"
                                  << "/other/" << QByteArray() << 404;
    QTest::newRow("unknown method")
        << "POST"
        << "/datasnap/rest/TZelServerDataBase/DropSQL" << QByteArray("select 1") << 404;
    QTest::newRow("GET on a method") << "GET" << open << QByteArray() << 405;
    QTest::newRow("PUT on a method") << "PUT" << open << QByteArray("select 1") << 405;
    QTest::newRow("POST on the handshake") << "POST"
                                           << "/datasnap/" << QByteArray("x") << 405;
    QTest::newRow("empty body") << "POST" << open << QByteArray("") << 400;
    QTest::newRow("blank body") << "POST" << open << QByteArray(" ;\n ") << 400;
    QTest::newRow("not UTF-8") << "POST" << open << QByteArray("select '\xff\xfe'") << 400;
    QTest::newRow("over 1 MiB") << "POST" << open << QByteArray((1 << 20) + 1, ' ') << 413;
    // SQLite would stop reading at the NUL and run the first statement alone.
    QTest::newRow("NUL byte then a second statement")
        << "POST" << open << QByteArray("select 1") + '\0' + "; delete from Login" << 400;
    QTest::newRow("OpenSQL failing in the database")
        << "POST" << open << QByteArray("Select * From Nowhere") << 400;
}

void TestServer::protocolErrors() {
    QFETCH(QString, verb);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    Answer answer =
        request(server_->port(), verb.toStdString(), path.toStdString(), body.toStdString());
    QCOMPARE(answer.status, status);
    QVERIFY2(answer.body.contains("error") && !answer.body["error"].get<std::string>().empty(),
             answer.body.dump().c_str());
}

void TestServer::selectAnswersColumnsAndRows() {
    const int port = server_->port();
    QCOMPARE(call(port, "ExecSQL",
                  "Insert into Notice values('项目编号:GD1 已创建','Mareth',null,"
                  "'2026-11-02 23:59:59')")
                 .body["result"],
             true);
    Answer answer = call(port, "OpenSQL", "select remark, PASSWORD from login");
    QCOMPARE(answer.status, 200);
    // Columns keep the table's spelling, whatever the statement's.
    QCOMPARE(answer.body["columns"], json::parse(R"(["Remark","PassWord"])"));
    QCOMPARE(answer.body["rows"], json::parse(R"([["Mareth","pw"]])"));
    answer = call(port, "OpenSQL",
                  "Select * From Notice Where CreateTime>='2026-11-02'Order by "
                  "CreateTime desc");
    QCOMPARE(answer.body["columns"],
             json::parse(R"(["Content","Demander","Performer","CreateTime"])"));
    QCOMPARE(answer.body["rows"][0][0], "项目编号:GD1 已创建");
    QVERIFY(answer.body["rows"][0][2].is_null());
    QCOMPARE(call(port, "ExecSQL", "update Login Set Remark='x' where UseName='nobody'").body,
             json::parse(R"({"result":true,"changes":0})"));

    // Text that JSON must escape comes back as it went in; bytes that are not
    // UTF-8 come back replaced rather than breaking the answer.
    const std::string awkward = "say \"hi\"\\ its\r\n\tdone\x01 任务";
    QCOMPARE(call(port, "ExecSQL",
                  "Insert into Notice values('" + awkward + "','Mareth','p','2026-11-03 00:00:00')")
                 .body["result"],
             true);
    answer =
        call(port, "OpenSQL", "select Content from Notice where CreateTime='2026-11-03 00:00:00'");
    QCOMPARE(answer.body["rows"][0][0].get<std::string>(), awkward);
    if (server_->isPostgres())
        return; // PostgreSQL stores no text that is not UTF-8
    answer = call(port, "OpenSQL", "select cast(x'41ff42' as text)");
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body["rows"][0][0].get<std::string>(), "A\xEF\xBF\xBD"
                                                           "B");
}

void TestServer::refusedStatementsChangeNothing_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("sql");
    QTest::newRow("drop table") << "ExecSQL"
                                << "DROP TABLE Login";
    QTest::newRow("drop table via DelSQL") << "DelSQL"
                                           << "drop table Login";
    QTest::newRow("pragma") << "OpenSQL"
                            << "PRAGMA journal_mode=DELETE";
    QTest::newRow("two statements") << "ExecSQL"
                                    << "update Login Set Remark='x'; delete From Login";
    QTest::newRow("select then delete") << "OpenSQL"
                                        << "Select * From Login;delete From Login";
    QTest::newRow("schema table") << "OpenSQL"
                                  << "SELECT * FROM sqlite_master";
    QTest::newRow("delete via ExecSQL") << "ExecSQL"
                                        << "delete From Login";
    QTest::newRow("insert via OpenSQL") << "OpenSQL"
                                        << "Insert into Login values('a','b','c')";
    QTest::newRow("update via DelSQL") << "DelSQL"
                                       << "update Login Set Remark='x'";
    QTest::newRow("select via ExecSQL") << "ExecSQL"
                                        << "Select * From Login";
    QTest::newRow("attach") << "ExecSQL"
                            << "ATTACH DATABASE '/tmp/x.db' AS x";
    QTest::newRow("transaction") << "ExecSQL"
                                 << "BEGIN";
    QTest::newRow("temp table") << "ExecSQL"
                                << "CREATE TEMP TABLE t(a)";
    QTest::newRow("extension") << "OpenSQL"
                               << "select load_extension('/tmp/evil')";
    QTest::newRow("vacuum into a file") << "ExecSQL"
                                        << "VACUUM INTO '/tmp/copy.db'";
    // Each would delete the row it conflicts with through a method that must not delete.
    QTest::newRow("replace") << "ExecSQL"
                             << "REPLACE INTO Login VALUES('TB58','owned','Evil')";
    QTest::newRow("insert or replace")
        << "ExecSQL"
        << "insert Or Replace into Login values('TB58','owned','Evil')";
    QTest::newRow("update or replace")
        << "ExecSQL"
        << "UPDATE OR REPLACE Login SET Remark='Evil' WHERE UseName='tb58'";
    QTest::newRow("replace behind comments")
        << "ExecSQL"
        << "-- routine\n/* insert */ replace/**/INTO Login VALUES('TB58','owned','Evil')";
    QTest::newRow("replace behind a WITH clause")
        << "ExecSQL"
        << "WITH v(a, b, c) AS (SELECT 'TB58', 'owned', 'Evil') "
           "INSERT OR REPLACE INTO Login SELECT * FROM v";
    QTest::newRow("replace via DelSQL") << "DelSQL"
                                        << "REPLACE INTO Login VALUES('TB58','owned','Evil')";
}

void TestServer::refusedStatementsChangeNothing() {
    QFETCH(QString, method);
    QFETCH(QString, sql);
    const int port = server_->port();
    Answer answer = call(port, method.toStdString(), sql.toStdString());
    QCOMPARE(answer.status, 403);
    QVERIFY(!answer.body.value("error", "").empty());
    Answer login = call(port, "OpenSQL", "Select * From Login");
    QCOMPARE(login.body["rows"], json::parse(R"([["tb58","pw","Mareth"]])"));
}

void TestServer::deleteWithoutFromIsAccepted() {
    const int port = server_->port();
    for (const char *id : {"GD20261117001", "GD20261117002"})
        QCOMPARE(call(port, "ExecSQL",
                      std::string("Insert into Programe values('") + id +
                          "','a','b','c','Mareth','e','2026-11-17 09:00:00','2026-11-20 09:00:00',"
                          "'No','0','')")
                     .body["result"],
                 true);
    QCOMPARE(call(port, "DelSQL", "delete Programe Where ProId='GD20261117001'").body,
             json::parse(R"({"result":true,"changes":1})"));
    QCOMPARE(rowCount(port, "select * from programe"), size_t(1));
    // A literal that merely looks like the form is not rewritten.
    QCOMPARE(call(port, "ExecSQL", "Insert into Login values('delete Programe Where','p','n')")
                 .body["result"],
             true);
}

void TestServer::replaceAsAWordIsAccepted() {
    const int port = server_->port();
    QCOMPARE(call(port, "ExecSQL",
                  "Insert into Notice values('replace into Login','Mareth','p','2026-11-17')")
                 .body["result"],
             true);
    QCOMPARE(
        call(port, "ExecSQL", "update Notice set Content=replace(Content,'Login','Task')").body,
        json::parse(R"({"result":true,"changes":1})"));
    QCOMPARE(call(port, "OpenSQL",
                  "select \"replace\" from (select Content as \"replace\" from "
                  "Notice)")
                 .body["rows"],
             json::parse(R"([["replace into Task"]])"));
}

void TestServer::guardedFunctionsAnswerAsSqlite_data() {
    QTest::addColumn<QString>("expression");
    for (const char *expression : {"replace('abcabc','b','xy')",
                                   "replace('aaa','aa','b')",
                                   "replace('abc','','x')",
                                   "replace(NULL,'a','b')",
                                   "replace('abc',NULL,'x')",
                                   "replace('abc','b',NULL)",
                                   "replace(12323,23,9)",
                                   "replace('任务任务','务','x')",
                                   "replace('a','a','')",
                                   "instr('hello','l')",
                                   "instr('hello','')",
                                   "instr('任务abc','abc')",
                                   "instr(x'010203',x'03')",
                                   "instr('abc','z')",
                                   "instr(12345,34)",
                                   "instr(NULL,'a')",
                                   "trim('xxhixx','x')",
                                   "ltrim('任务hi任务','任务')",
                                   "rtrim('abcba','ab')",
                                   "trim('abc','')",
                                   "trim(NULL,'x')",
                                   "trim('  hi  ',NULL)",
                                   "'abc' LIKE 'A%'",
                                   "'abc' LIKE '_b_'",
                                   "'ä' LIKE 'Ä'",
                                   "'a%c' LIKE 'a!%c' ESCAPE '!'",
                                   "'a%' LIKE 'a%%' ESCAPE '%'",
                                   "'ab' LIKE 'a_' ESCAPE '_'",
                                   "NULL LIKE 'a'",
                                   "'abc' LIKE NULL",
                                   "like('%c','abc')",
                                   "'abc' GLOB 'a*'",
                                   "'abc' GLOB 'A*'",
                                   "'abc' GLOB '[a-c]b?'",
                                   "'a]c' GLOB '*[]]*'",
                                   "'abc' GLOB '[^a]*'",
                                   "printf('%5.2f|%-4d|%s|%c', 3.14159, 42, 'hi', '任务')",
                                   "printf('%.*c', 3, 'x')",
                                   "printf('%*d|', -5, 7)",
                                   "format('%q', 'it''s')",
                                   "printf('%%|%,d', 1234567)",
                                   "printf()",
                                   "printf(NULL)",
                                   "printf('%s')",
                                   "printf('%.3s', 'abcdef')"})
        QTest::newRow(expression) << QString::fromUtf8(expression);
}

// Some functions are replaced by guards on the server; their answers must
// stay those of SQLite's own functions.
void TestServer::guardedFunctionsAnswerAsSqlite() {
    QFETCH(QString, expression);
    if (server_->isPostgres())
        QSKIP("SQLite's own functions, guarded on the SQLite storage");
    const std::string sql = "select " + expression.toStdString();
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_stmt *stmt = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
    QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
    const json expected = text ? json(std::string(text)) : json(nullptr);
    sqlite3_finalize(stmt);
    sqlite3_close(db);

    Answer answer = call(server_->port(), "OpenSQL", sql);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body["rows"][0][0].dump(), expected.dump());
}

void TestServer::uniqueKeys() {
    const int port = server_->port();
    const std::string project = "Insert into Programe values('KF20261117001','a','b','c','Mareth',"
                                "'e','2026-11-17 09:00:00','2026-11-20 09:00:00','No','0','')";
    QCOMPARE(call(port, "ExecSQL", project).body["result"], true);
    // Taken in any letter case: the lookup by number would find two projects.
    for (const std::string id : {"KF20261117001", "kf20261117001"}) {
        std::string again = project;
        again.replace(again.find("KF20261117001"), id.size(), id);
        Answer answer = call(port, "ExecSQL", again);
        QCOMPARE(answer.status, 403);
        QCOMPARE(answer.body["code"], "key-taken");
    }
    QCOMPARE(rowCount(port, "Select * From Programe"), size_t(1));
    Answer login = call(port, "ExecSQL", "Insert into Login values('TB58','x','y')");
    QCOMPARE(login.status, 403);
    QCOMPARE(login.body["code"], "name-taken");
    QCOMPARE(rowCount(port, "Select * From Login"), size_t(1));
}

void TestServer::loginNamesIgnoreLetterCasePasswordsDoNot_data() {
    QTest::addColumn<bool>("earlierDatabase");
    QTest::newRow("new database") << false;
    QTest::newRow("database of an earlier version") << true;
}

void TestServer::loginNamesIgnoreLetterCasePasswordsDoNot() {
    QFETCH(bool, earlierDatabase);
    if (earlierDatabase && server_->isPostgres())
        QSKIP("a database file of an earlier version is SQLite's");
    if (earlierDatabase) {
        QVERIFY(server_->stop());
        QVERIFY(server_->execOnDatabaseFile(kEarlierLoginTable +
                                            "INSERT INTO Login VALUES('tb58','pw','Mareth');"));
        QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    }
    const int port = server_->port();
    QCOMPARE(
        call(port, "ExecSQL", "Insert into Login values('Kestra','K','Kestra')").body["result"],
        true);
    for (int start = 0; start < 2; ++start) { // and so again after a restart
        const int port = server_->port();
        QCOMPARE(rowCount(port, "Select * From Login where UseName='TB58' and PassWord='pw'"),
                 size_t(1));
        QCOMPARE(rowCount(port, "Select * From Login where 'kestra'=UseName"), size_t(1));
        QCOMPARE(rowCount(port, "Select * From Login where UseName='tb58' and PassWord='PW'"),
                 size_t(0));
        QCOMPARE(rowCount(port, "Select * From Login where UseName='kestra' and PassWord='k'"),
                 size_t(0));
        // Rows keep their order and the letter case they were stored in.
        QCOMPARE(call(port, "OpenSQL", "Select * From Login").body["rows"],
                 json::parse(R"([["tb58","pw","Mareth"],["Kestra","K","Kestra"]])"));
        QCOMPARE(call(port, "ExecSQL", "Insert into Login values('KESTRA','x','y')").status, 403);
        QVERIFY(server_->stop());
        QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    }
    QCOMPARE(
        call(server_->port(), "ExecSQL", "update Login Set PassWord='new' where UseName='TB58'")
            .body,
        json::parse(R"({"result":true,"changes":1})"));
}

void TestServer::longStatementIsStopped() {
    const int port = server_->port();
    for (int i = 0; i < 100; ++i)
        call(port, "ExecSQL", "Insert into Notice values('n','Mareth','p','2026-11-17 09:00:00')");
    QElapsedTimer timer;
    timer.start();
    Answer answer =
        call(port, "OpenSQL", "Select count(*) From Notice a, Notice b, Notice c, Notice d");
    QCOMPARE(answer.status, 400);
    QVERIFY2(answer.body["error"].get<std::string>().find("longer than") != std::string::npos,
             answer.body.dump().c_str());
    QCOMPARE(rowCount(port, "Select * From Login"), size_t(1)); // still serving
}

void TestServer::dataSurvivesRestart() {
    QCOMPARE(call(server_->port(), "ExecSQL",
                  "Insert into Notice values('持久','Mareth','p','2026-11-17 09:00:00')")
                 .body["result"],
             true);
    server_->kill(); // no clean shutdown: a confirmed write must be on disk already
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QCOMPARE(rowCount(server_->port(), "Select * From Notice where Content='持久'"), size_t(1));
}

void TestServer::concurrentWritersLoseNothing() {
    const int port = server_->port();
    constexpr int writers = 8;
    constexpr int rowsEach = 40;
    for (int w = 0; w < writers; ++w)
        QCOMPARE(call(port, "ExecSQL",
                      "Insert into Programe values('W" + std::to_string(w) +
                          "','a','b','c','Mareth','e','2026-11-17','2026-11-20','No','0','')")
                     .body["result"],
                 true);
    std::atomic<int> confirmed{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w)
        threads.emplace_back([&, w] {
            httplib::Client client("127.0.0.1", port);
            client.set_basic_auth(ServerProcess::kTestUser, ServerProcess::kTestPassword);
            client.set_keep_alive(true);
            client.set_read_timeout(10);
            for (int i = 0; i < rowsEach; ++i) {
                auto sql = "Insert into Task values('W" + std::to_string(w) + "','t" +
                           std::to_string(i) + "','Mareth','','','','0','','','')";
                auto result =
                    client.Post("/datasnap/rest/TZelServerDataBase/ExecSQL", sql, "text/plain");
                if (result && result->status == 200 &&
                    json::parse(result->body).value("result", false))
                    ++confirmed;
            }
        });
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(confirmed.load(), writers * rowsEach);
    QCOMPARE(rowCount(port, "Select * From Task"), size_t(writers * rowsEach));
}

// Each server keeps nothing of the data between statements, so what one
// confirms the other answers at once, and the unique keys hold across both.
void TestServer::twoServersServeOneDatabase() {
    ServerProcess other(QStringList{"--statements", "any"}, ServerProcess::storageUnderTest());
    other.setDatabase(server_->dbArgument());
    QVERIFY2(other.start(), qPrintable(other.errorText()));
    const int ports[] = {server_->port(), other.port()};
    QCOMPARE(call(ports[1], "ExecSQL", "update Login Set Remark='Mareth II' where UseName='tb58'")
                 .body["changes"],
             1);
    QCOMPARE(call(ports[0], "OpenSQL", "Select Remark From Login").body["rows"],
             json::parse(R"([["Mareth II"]])"));

    std::atomic<int> inserted{0};
    std::vector<std::thread> threads;
    for (int port : ports)
        threads.emplace_back([&, port] {
            for (int i = 0; i < 20; ++i)
                if (call(port, "ExecSQL",
                         "Insert into Programe values('SW" + std::to_string(i) +
                             "','a','b','c','Mareth II','e','2026-11-17','2026-11-20','No','0','')")
                        .body.value("result", false))
                    ++inserted;
        });
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(inserted.load(), 20);
    QCOMPARE(rowCount(ports[1], "select * from Programe"), size_t(20));
    QVERIFY(other.stop());
}

void TestServer::passwordChangedThroughOneServerCountsOnTheOther() {
    ServerProcess other(QStringList{"--statements", "any"}, ServerProcess::storageUnderTest());
    other.setDatabase(server_->dbArgument());
    QVERIFY2(other.start(), qPrintable(other.errorText()));
    const std::string openSql = "/datasnap/rest/TZelServerDataBase/OpenSQL";
    const std::string read = "Select Remark From Login";
    QCOMPARE(request(server_->port(), "POST", openSql, read).status, 200); // the old one is known
    QCOMPARE(call(other.port(), "ExecSQL",
                  "update Login Set PassWord='changed' where UseName='" +
                      std::string(ServerProcess::kTestUser) + "'")
                 .body["changes"],
             1);
    QCOMPARE(request(server_->port(), "POST", openSql, read).status, 401);
    QCOMPARE(request(server_->port(), "POST", openSql, read, "changed").status, 200);
    QVERIFY(other.stop());
}

QTEST_GUILESS_MAIN(TestServer)
#include "TestServer.moc"
