// On PostgreSQL an OpenSQL answer is reused while nothing it reads changes,
// and the counters that tell live in the database, so every server on it
// agrees: a change through one server, or past all of them, brings the new
// rows from any server at its next answer. A database made by an earlier
// --init still answers, with nothing reused, until --init is run again.

#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"
#include "support/TaggedRequests.h"

#include <QtTest>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

const std::string kPanel =
    "Select * From Notice Where CreateTime>='2026-11-25'Order by CreateTime desc";
using TaggedRequests::Answer;
using TaggedRequests::post;

std::string notice(const std::string &content, const std::string &time) {
    return "Insert into Notice values('" + content + "','Mareth','Mareth','" + time + "')";
}

json rowsIn(const std::string &body) {
    return json::parse(body, nullptr, false)["rows"];
}

bool initAgain(PgTestDatabase &database) {
    QProcess init;
    init.start(ServerProcess::binary(),
               {"--db", database.ownerConnection(), "--init", "--grant-to",
                qEnvironmentVariable("SOLVANE_TEST_PG_ROLE", "solvane_server")});
    return init.waitForFinished(30000) && init.exitStatus() == QProcess::NormalExit &&
           init.exitCode() == 0;
}

} // namespace

class TestPgAnswerReuse : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void sameStatementTwiceIsNotResent();
    void changeToATableReadBringsTheNewRows_data();
    void changeToATableReadBringsTheNewRows();
    void changeToAnotherTableKeepsTheAnswer();
    void changeThroughOneServerIsSeenByAnother();
    void countersAreTheOwnersAlone();
    void databaseOfAnEarlierInitAnswersWithoutReuse();

private:
    std::unique_ptr<PgTestDatabase> database_;
    std::unique_ptr<ServerProcess> server_;
};

void TestPgAnswerReuse::init() {
    if (!PgTestDatabase::unavailableReason().isEmpty())
        QSKIP(qPrintable(PgTestDatabase::unavailableReason()));
    database_ = std::make_unique<PgTestDatabase>();
    QVERIFY2(database_->create(ServerProcess::binary()), qPrintable(database_->errorText()));
    QVERIFY(database_->execAsOwner(
        QStringLiteral("INSERT INTO \"Login\" VALUES('%1','%2','Mareth'); "
                       "INSERT INTO \"Notice\" VALUES('first','Mareth','Mareth',"
                       "'2026-11-26 09:00:00')")
            .arg(QLatin1String(ServerProcess::kTestUser),
                 QLatin1String(ServerProcess::kTestPassword))));
    // Any statement: the test changes rows in ways the client composes no statement for.
    server_ = std::make_unique<ServerProcess>(QStringList{"--statements", "any"},
                                              ServerProcess::Storage::Postgres);
    server_->setDatabase(database_->serverConnection());
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
}

void TestPgAnswerReuse::cleanup() {
    if (server_)
        QVERIFY(server_->stop());
    server_.reset();
    database_.reset();
}

void TestPgAnswerReuse::sameStatementTwiceIsNotResent() {
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(first.status, 200);
    QVERIFY(!first.etag.empty());
    QCOMPARE(rowsIn(first.body).size(), size_t(1));

    const Answer again = post(server_->port(), "OpenSQL", kPanel, first.etag);
    QCOMPARE(again.status, 304);
    QVERIFY(again.body.empty());
    QCOMPARE(again.etag, first.etag);
    // Without the tag the same answer comes whole.
    const Answer whole = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(whole.status, 200);
    QCOMPARE(whole.body, first.body);
    QCOMPARE(whole.etag, first.etag);
}

void TestPgAnswerReuse::changeToATableReadBringsTheNewRows_data() {
    QTest::addColumn<bool>("pastTheServer"); // as the owner, as psql or a restore would
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("rows");
    QTest::newRow("insert") << false << QString::fromStdString(notice("second", "2026-11-27")) << 2;
    QTest::newRow("update") << false
                            << "update Notice Set CreateTime='2026-11-01' where Content='first'"
                            << 0;
    QTest::newRow("delete") << false << "delete Notice where Content='first'" << 0;
    QTest::newRow("insert past the server")
        << true << R"(INSERT INTO "Notice" VALUES('second','a','b','2026-11-27'))" << 2;
    QTest::newRow("truncate past the server") << true << R"(TRUNCATE "Notice")" << 0;
}

void TestPgAnswerReuse::changeToATableReadBringsTheNewRows() {
    QFETCH(bool, pastTheServer);
    QFETCH(QString, change);
    QFETCH(int, rows);
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(first.status, 200);
    if (pastTheServer) {
        QVERIFY2(database_->execAsOwner(change), qPrintable(database_->errorText()));
    } else {
        const std::string method = change.startsWith("delete") ? "DelSQL" : "ExecSQL";
        const Answer changed = post(server_->port(), method, change.toStdString());
        QCOMPARE(changed.status, 200);
        QVERIFY2(json::parse(changed.body)["result"].get<bool>(), changed.body.c_str());
    }
    const Answer after = post(server_->port(), "OpenSQL", kPanel, first.etag);
    QCOMPARE(after.status, 200);
    QVERIFY(!after.etag.empty() && after.etag != first.etag);
    QCOMPARE(int(rowsIn(after.body).size()), rows);
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, after.etag).status, 304);
}

void TestPgAnswerReuse::changeToAnotherTableKeepsTheAnswer() {
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(post(server_->port(), "ExecSQL",
                  "Insert into Programe values('T1','a','b','c','Mareth','Mareth',"
                  "'2026-11-27 10:00:00','','No','0','')")
                 .status,
             200);
    const Answer added = post(server_->port(), "ExecSQL",
                              "Insert into Task values('T1','do it','Mareth','',"
                              "'2026-11-27 10:00:00','','0','','','')");
    QCOMPARE(added.status, 200);
    QCOMPARE(json::parse(added.body)["changes"].get<int>(), 1);
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, first.etag).status, 304);
    // The task list reads the table that changed.
    const std::string tasks = "Select * From Task where TaskDemander='Mareth'";
    const Answer taskList = post(server_->port(), "OpenSQL", tasks);
    QCOMPARE(rowsIn(taskList.body).size(), size_t(1));
    QVERIFY(database_->execAsOwner(R"(DELETE FROM "Task")"));
    QCOMPARE(post(server_->port(), "OpenSQL", tasks, taskList.etag).status, 200);
}

void TestPgAnswerReuse::changeThroughOneServerIsSeenByAnother() {
    ServerProcess other({}, ServerProcess::Storage::Postgres);
    other.setDatabase(database_->serverConnection());
    QVERIFY2(other.start(), qPrintable(other.errorText()));
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    // Both servers read the same counters, so they give the same tags.
    QCOMPARE(post(other.port(), "OpenSQL", kPanel, first.etag).status, 304);

    QCOMPARE(post(server_->port(), "ExecSQL", notice("second", "2026-11-27 10:00:00")).status, 200);
    const Answer after = post(other.port(), "OpenSQL", kPanel, first.etag);
    QCOMPARE(after.status, 200);
    QCOMPARE(rowsIn(after.body).size(), size_t(2));
    QCOMPARE(rowsIn(after.body)[0][0].get<std::string>(), std::string("second"));
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, after.etag).status, 304);
    QVERIFY(other.stop());
}

void TestPgAnswerReuse::countersAreTheOwnersAlone() {
    QCOMPARE(post(server_->port(), "OpenSQL", "select counter from solvane_changes").status, 200);
    QCOMPARE(post(server_->port(), "ExecSQL", "update solvane_changes set counter = 0").status,
             403);
    // An answer that depends on the clock is never reused.
    const Answer clock = post(server_->port(), "OpenSQL",
                              "Select Content From Notice where CreateTime < "
                              "cast(current_timestamp as text)");
    QCOMPARE(clock.status, 200);
    QCOMPARE(rowsIn(clock.body).size(), size_t(1));
    QVERIFY(clock.etag.empty());
}

void TestPgAnswerReuse::databaseOfAnEarlierInitAnswersWithoutReuse() {
    QVERIFY(server_->stop());
    QVERIFY(database_->execAsOwner(
        "DROP FUNCTION solvane_count_change() CASCADE; DROP TABLE solvane_changes"));
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(first.status, 200);
    QVERIFY(first.etag.empty());
    QCOMPARE(post(server_->port(), "ExecSQL", notice("second", "2026-11-27 10:00:00")).status, 200);
    const Answer again = post(server_->port(), "OpenSQL", kPanel, "*");
    QCOMPARE(again.status, 200);
    QCOMPARE(rowsIn(again.body).size(), size_t(2));

    // --init once more adds what is missing, and answers are reused again.
    QVERIFY(server_->stop());
    QVERIFY(initAgain(*database_));
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    const Answer tagged = post(server_->port(), "OpenSQL", kPanel);
    QVERIFY(!tagged.etag.empty());
    QCOMPARE(rowsIn(tagged.body).size(), size_t(2));
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, tagged.etag).status, 304);
}

QTEST_GUILESS_MAIN(TestPgAnswerReuse)
#include "TestPgAnswerReuse.moc"
