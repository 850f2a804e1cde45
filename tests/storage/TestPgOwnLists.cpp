// On PostgreSQL a member's own lists are matched in memory as the database
// matches them (its LIKE, turned into ILIKE in the tables' "C" collation),
// and a list follows only changes whose rows were copied whole: when a
// table's trigger is gone, or a change's rows were copied by nobody, the
// list runs its statement and stays exact.

#include "answers/JsonText.h"
#include "lists/TextMatch.h"
#include "storage/postgres/PgStorage.h"
#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"
#include "support/TaggedRequests.h"

#include <QtTest>

#include <nlohmann/json.hpp>

#include <set>

using nlohmann::json;
using TaggedRequests::Answer;
using TaggedRequests::post;

namespace {

// What the performers column holds: letter case inside and outside ASCII,
// characters of several bytes, LIKE's wildcards and the backslash that
// PostgreSQL's LIKE would take for an escape.
const std::vector<std::string> kPerformers = {
    "Mareth", "mareth", "MARETH", "ana",  "Ana",  "ÄNA", "äna",  "李四", "李四五", "李x四",
    "李xx四", "bxo",    "b_o",    "",     "a%b",  "axb", "a\\b", "a\\\\b", "50%", "x_y", "ǅa"};

const std::string kTaskList = "Select * From Task where TaskDemander='Mareth' or TaskPerformer "
                              "like '%Mareth%' or TaskCCList like '%Mareth%' order by "
                              "TaskCompleteTime desc";

class RowsRead : public appserver::RowSink {
public:
    void begin(const std::vector<std::string> &) override {}
    bool add(const std::vector<appserver::CellView> &row) override {
        performers.insert(row.size() > 3 && row[3] ? std::string(*row[3]) : "NULL");
        return true;
    }
    std::multiset<std::string> performers;
};

std::string runAfresh(appserver::Session &session, const std::string &sql) {
    appserver::AnswerBudget budget(1 << 20);
    appserver::JsonRowsWriter rows(1 << 20, budget);
    session.beginRequest();
    if (session.run(appserver::Method::OpenSQL, sql, rows).outcome != appserver::Outcome::Ok)
        return "failed";
    return rows.finish();
}

} // namespace

class TestPgOwnLists : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void likeMatchesAsPostgres_data();
    void likeMatchesAsPostgres();
    void changesNotCopiedWholeRunTheStatement_data();
    void changesNotCopiedWholeRunTheStatement();

private:
    std::unique_ptr<ServerProcess> server_; // on the database the matching reads
};

void TestPgOwnLists::initTestCase() {
    if (!PgTestDatabase::unavailableReason().isEmpty())
        QSKIP(qPrintable(PgTestDatabase::unavailableReason()));
    server_ = std::make_unique<ServerProcess>(QStringList{}, ServerProcess::Storage::Postgres);
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    for (const std::string &performer : kPerformers) {
        std::string quoted;
        for (char c : performer)
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        QVERIFY(server_->execOnDatabaseFile(QString::fromStdString(
            "INSERT INTO Task VALUES('P1','t','Ana','" + quoted + "','','','0','','','')")));
    }
}

void TestPgOwnLists::cleanupTestCase() {
    if (server_)
        QVERIFY(server_->stop());
}

void TestPgOwnLists::likeMatchesAsPostgres_data() {
    QTest::addColumn<QString>("pattern");
    for (const char *pattern :
         {"%ana%", "%Ana%", "%ANA%", "%äna%", "%ÄNA%", "%李_四%", "%李%四%", "李_四", "%b_o%",
          "%%", "", "_", "___", "a%b", "a\\b", "a\\\\b", "%\\%", "50%", "%x_y", "ǆa", "ǅA",
          "%mAReth"})
        QTest::newRow(pattern) << QString::fromUtf8(pattern);
}

void TestPgOwnLists::likeMatchesAsPostgres() {
    QFETCH(QString, pattern);
    const std::string like = pattern.toStdString();
    appserver::PgStorage storage(server_->dbArgument().toStdString());
    const auto session = storage.openSession();
    // The reminder's count of unfinished tasks, as the client sends it.
    RowsRead read;
    session->beginRequest();
    const auto result = session->run(
        appserver::Method::OpenSQL,
        "Select * From Task Where TaskPerformer like'" + like + "' and TaskCompleteFlag<>'2'", read);
    QCOMPARE(int(result.outcome), int(appserver::Outcome::Ok));
    std::multiset<std::string> matched;
    for (const std::string &performer : kPerformers) {
        const auto met = appserver::textLike(performer, like, session->textRules());
        QVERIFY(met);
        if (*met)
            matched.insert(performer);
    }
    QCOMPARE(matched, read.performers);
}

void TestPgOwnLists::changesNotCopiedWholeRunTheStatement_data() {
    QTest::addColumn<QString>("scene"); // as the owner, before the change
    QTest::addColumn<QString>("change");
    QTest::newRow("the row trigger dropped")
        << "DROP TRIGGER solvane_row_log ON Task"
        << "UPDATE Task SET TaskCCList='Mareth' WHERE TaskContent='a'";
    QTest::newRow("the statement trigger dropped")
        << "DROP TRIGGER solvane_statement_log ON Task"
        << "UPDATE Task SET TaskCCList='Mareth' WHERE TaskContent='a'";
    QTest::newRow("a statement naming another table too")
        << "" << "INSERT INTO Task SELECT 'P2','b','Mareth',Performer,'','','0','','','' FROM "
                 "Notice";
}

void TestPgOwnLists::changesNotCopiedWholeRunTheStatement() {
    QFETCH(QString, scene);
    QFETCH(QString, change);
    ServerProcess server({"--statements", "any"}, ServerProcess::Storage::Postgres);
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    QVERIFY(server.addTestMember());
    QVERIFY(server.execOnDatabaseFile(
        "INSERT INTO Task VALUES('P1','a','Ana','Mareth','','2026-11-20','0','','','');"
        "INSERT INTO Notice VALUES('n','Ana','ana','2026-11-20')"));
    const Answer first = post(server.port(), "OpenSQL", kTaskList);
    QCOMPARE(first.status, 200);
    if (!scene.isEmpty())
        QVERIFY(server.execOnDatabaseFile(scene));
    QCOMPARE(post(server.port(), "ExecSQL", change.toStdString()).status, 200);

    // Only an answer brought up to date in memory comes while the rows cannot be read.
    const QString role = qEnvironmentVariable("SOLVANE_TEST_PG_ROLE", "solvane_server");
    QVERIFY(server.execOnDatabaseFile("REVOKE SELECT ON Task FROM " + role));
    const int blind = post(server.port(), "OpenSQL", kTaskList, first.etag, "pw", "rowdiff").status;
    QVERIFY(server.execOnDatabaseFile("GRANT SELECT ON Task TO " + role));
    QVERIFY2(blind != 200 && blind != 226, "a change not copied whole was brought up to date");

    appserver::PgStorage storage(server.dbArgument().toStdString());
    const Answer after = post(server.port(), "OpenSQL", kTaskList);
    QCOMPARE(after.status, 200);
    QCOMPARE(after.body, runAfresh(*storage.openSession(), kTaskList));
    QVERIFY(after.body != first.body);
    QVERIFY(server.stop());
}

QTEST_GUILESS_MAIN(TestPgOwnLists)
#include "TestPgOwnLists.moc"
