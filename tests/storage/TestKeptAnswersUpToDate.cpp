// A kept answer brought up to date from the rows added since is the answer
// its statement gives when run afresh, byte for byte: random sequences of
// insertions (with ties in the panel's order and rows outside it), updates
// and deletions, each followed by the panel asked as a client asks it (with
// its last tag and row changes) and whole, compared with the statement run
// on a session of the storage's own that keeps nothing. On PostgreSQL, rows
// another program inserted in a savepoint of a transaction open while the
// panel was read are not missed, with the log of notices added or without.

#include "answers/JsonText.h"
#include "storage/postgres/PgConnection.h"
#include "storage/postgres/PgStorage.h"
#include "storage/sqlite/SqliteStorage.h"
#include "support/ServerProcess.h"
#include "support/TaggedRequests.h"

#include <QRandomGenerator>
#include <QtTest>

#include <nlohmann/json.hpp>

using nlohmann::json;
using TaggedRequests::Answer;
using TaggedRequests::post;

namespace {

const std::string kPanel =
    "Select * From Notice Where CreateTime>='2026-11-20'Order by CreateTime desc";
constexpr int kSequences = 12;
constexpr int kSteps = 40;

std::string quoted(const std::string &value) {
    std::string text = "'";
    for (char c : value)
        text += c == '\'' ? std::string("''") : std::string(1, c);
    return text + "'";
}

// Few times, so that rows often tie in the panel's order; some before its first day.
std::string someTime(QRandomGenerator &random) {
    static const char *times[] = {"2026-11-19 23:59:59", "2026-11-20",          "2026-11-20 08:00:00",
                                  "2026-11-21 09:30:00", "2026-11-21 09:30:00", "2026-11-22 10:00:00",
                                  "2026-11-22 10:00:01", "2026-12-01 00:00:00"};
    return times[random.bounded(int(std::size(times)))];
}

struct Change {
    std::string method;
    std::string sql;
};

Change randomChange(QRandomGenerator &random, int &made) {
    const int kind = random.bounded(10);
    const std::string content = "n" + std::to_string(++made) + (kind == 0 ? " \"é\"\\'" : "");
    if (kind < 7) // mostly insertions: what the server brings its answers up to date with
        return {"ExecSQL", "Insert into Notice values(" + quoted(content) + ",'Mareth','p" +
                               std::to_string(random.bounded(3)) + "'," +
                               (kind == 1 ? std::string("NULL") : quoted(someTime(random))) + ")"};
    const std::string which = "n" + std::to_string(1 + random.bounded(std::max(1, made - 1)));
    if (kind < 9)
        return {"ExecSQL", "update Notice Set CreateTime=" + quoted(someTime(random)) +
                               " where Content=" + quoted(which)};
    return {"DelSQL", "delete from Notice where Content=" + quoted(which)};
}

// The rows of an answer the server sent, whole (200) or as changed rows (226).
json rowsOf(const Answer &answer, const json &earlierRows) {
    const json body = json::parse(answer.body);
    if (answer.status != 226)
        return body["rows"];
    size_t front = 0, back = 0;
    std::sscanf(answer.rowsKept.c_str(), "%zu, %zu", &front, &back);
    json rows = json::array();
    for (size_t i = 0; i < front; ++i)
        rows.push_back(earlierRows[i]);
    for (const json &row : body["rows"])
        rows.push_back(row);
    for (size_t i = earlierRows.size() - back; i < earlierRows.size(); ++i)
        rows.push_back(earlierRows[i]);
    return rows;
}

} // namespace

class TestKeptAnswersUpToDate : public QObject {
    Q_OBJECT
private slots:
    void keptAnswersEqualTheStatementRunAfresh();
    void rowsOfAnotherProgramsSavepointAreNotMissed_data();
    void rowsOfAnotherProgramsSavepointAreNotMissed();

private:
    std::unique_ptr<appserver::Storage> freshStorage(const ServerProcess &server) const;
    std::string runAfresh(appserver::Session &session) const;
};

std::unique_ptr<appserver::Storage>
TestKeptAnswersUpToDate::freshStorage(const ServerProcess &server) const {
    if (server.isPostgres())
        return std::make_unique<appserver::PgStorage>(server.dbArgument().toStdString());
    appserver::SqliteLimits limits;
    limits.readOnly = true; // it only reads: the server's writer stays the only one
    return std::make_unique<appserver::SqliteStorage>(server.dbPath().toStdString(), limits);
}

std::string TestKeptAnswersUpToDate::runAfresh(appserver::Session &session) const {
    appserver::AnswerBudget budget(64 << 20);
    appserver::JsonRowsWriter rows(16 << 20, budget);
    session.beginRequest();
    const auto result = session.run(appserver::Method::OpenSQL, kPanel, rows);
    if (result.outcome != appserver::Outcome::Ok)
        return "failed: " + result.error;
    return rows.finish();
}

void TestKeptAnswersUpToDate::keptAnswersEqualTheStatementRunAfresh() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    // Any statement: the sequences update and delete notices as no client statement does.
    ServerProcess server({"--statements", "any"}, ServerProcess::storageUnderTest());
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    QVERIFY(server.addTestMember());
    const auto storage = freshStorage(server);
    const auto fresh = storage->openSession();

    const quint32 seed = qEnvironmentVariableIsSet("SOLVANE_TEST_SEED")
                             ? quint32(qEnvironmentVariableIntValue("SOLVANE_TEST_SEED"))
                             : QRandomGenerator::global()->generate();
    for (int sequence = 0; sequence < kSequences; ++sequence) {
        QRandomGenerator random(seed + quint32(sequence));
        const std::string where = "seed " + std::to_string(seed + quint32(sequence));
        QCOMPARE(post(server.port(), "DelSQL", "delete from Notice").status, 200);
        Answer held = post(server.port(), "OpenSQL", kPanel);
        QCOMPARE(held.status, 200);
        json heldRows = json::parse(held.body)["rows"];
        int made = 0;
        std::string history;
        for (int step = 0; step < kSteps; ++step) {
            // One to three changes between two refreshes of the panel.
            for (int c = 1 + random.bounded(3); c > 0; --c) {
                const Change change = randomChange(random, made);
                history += change.sql + "\n";
                const Answer done = post(server.port(), change.method, change.sql);
                QVERIFY2(done.status == 200, (where + ": " + change.sql + ": " + done.body).c_str());
            }
            const std::string expected = runAfresh(*fresh);
            const std::string failure = where + ", step " + std::to_string(step) +
                                        ", after:\n" + history + "expected " + expected;
            // As a client asks: with its last tag, accepting row changes.
            const Answer asked = post(server.port(), "OpenSQL", kPanel, held.etag, "pw", "rowdiff");
            QVERIFY2(asked.status == 200 || asked.status == 226 || asked.status == 304,
                     failure.c_str());
            if (asked.status != 304) {
                heldRows = rowsOf(asked, heldRows);
                held = asked;
            }
            QVERIFY2(heldRows == json::parse(expected)["rows"],
                     (failure + "\nheld " + heldRows.dump()).c_str());
            // And whole, byte for byte.
            const Answer whole = post(server.port(), "OpenSQL", kPanel);
            QCOMPARE(whole.status, 200);
            QVERIFY2(whole.body == expected, (failure + "\ngot " + whole.body).c_str());
            QCOMPARE(whole.etag, held.etag);
        }
    }
    QVERIFY(server.stop());
}

void TestKeptAnswersUpToDate::rowsOfAnotherProgramsSavepointAreNotMissed_data() {
    QTest::addColumn<bool>("logKept");
    QTest::newRow("the log of notices added kept") << true;
    // A database whose owner has not run --init since: the server's role
    // cannot make the log, and says so.
    QTest::newRow("no log") << false;
}

void TestKeptAnswersUpToDate::rowsOfAnotherProgramsSavepointAreNotMissed() {
    QFETCH(bool, logKept);
    if (ServerProcess::storageUnderTest() != ServerProcess::Storage::Postgres)
        QSKIP("a PostgreSQL transaction's savepoint");
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    ServerProcess server({"--statements", "any"}, ServerProcess::Storage::Postgres);
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    if (!logKept) {
        QVERIFY(server.execOnDatabaseFile("DROP TRIGGER solvane_notices_added ON Notice; "
                                          "DROP TABLE solvane_notices_added"));
        QVERIFY(server.stop());
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        QVERIFY(server.log().contains("keeps no log of the notices added"));
    }
    QVERIFY(server.addTestMember());
    const auto storage = freshStorage(server);
    const auto fresh = storage->openSession();
    auto exec = [](PGconn *conn, const char *sql) {
        appserver::PgResultPtr done(PQexec(conn, sql));
        return PQresultStatus(done.get()) == PGRES_COMMAND_OK;
    };
    auto insert = [&](const std::string &content) {
        return post(server.port(), "ExecSQL",
                    "Insert into Notice values('" + content + "','Mareth','p','2026-11-21')")
            .status;
    };
    QCOMPARE(insert("before"), 200);
    QCOMPARE(post(server.port(), "OpenSQL", kPanel).status, 200); // read at a version
    // Its row carries the savepoint's transaction id, assigned before the
    // panel is next read while its transaction is still open.
    const appserver::PgConnPtr program =
        appserver::connectPostgres(server.dbArgument().toStdString());
    QVERIFY(exec(program.get(), "BEGIN; SAVEPOINT one; INSERT INTO \"Notice\" VALUES "
                                "('in a savepoint', 'Mareth', 'p', '2026-11-21'); RELEASE one"));
    QCOMPARE(insert("while open"), 200);
    Answer read = post(server.port(), "OpenSQL", kPanel);
    QCOMPARE(read.status, 200);
    QCOMPARE(read.body, runAfresh(*fresh));
    QVERIFY(exec(program.get(), "COMMIT"));
    QCOMPARE(insert("after"), 200);
    read = post(server.port(), "OpenSQL", kPanel);
    QCOMPARE(read.status, 200);
    QCOMPARE(read.body, runAfresh(*fresh));
    QVERIFY(read.body.find("in a savepoint") != std::string::npos);
    QVERIFY(server.stop());
}

QTEST_GUILESS_MAIN(TestKeptAnswersUpToDate)
#include "TestKeptAnswersUpToDate.moc"
