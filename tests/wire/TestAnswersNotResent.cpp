// An OpenSQL answer is sent once while nothing it reads changes: asked again
// with its entity tag, the server says 304 and the client keeps its record
// set; a change to a table the statement reads, through the server or by
// another process on the file, brings the new rows.

#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "protocol/RowChanges.h"
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

Answer postForChanges(int port, const std::string &sql, const std::string &etag,
                      const std::string &manipulations = RowChanges::kManipulation) {
    return post(port, "OpenSQL", sql, etag, ServerProcess::kTestPassword, manipulations);
}

// The client's own connection, logged in as the test member.
void openAsTestMember(ServerConnection &connection, const ServerProcess &server) {
    connection.setHostName(server.host());
    connection.setPort(server.port());
    connection.setCredentials(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    connection.open();
}

std::vector<std::string> firstCells(const std::string &body) {
    std::vector<std::string> cells;
    const json answer = json::parse(body);
    for (const auto &row : answer["rows"])
        cells.push_back(row[0].get<std::string>());
    return cells;
}

std::string notice(const std::string &content, const std::string &time) {
    return "Insert into Notice values('" + content + "','Mareth','Mareth','" + time + "')";
}

// The panel before a change: n6, n5, n4, n3, n2 (newest first).
bool addFiveNotices(const ServerProcess &server) {
    for (int hour = 10; hour <= 14; ++hour)
        if (!server.execOnDatabaseFile(
                QString("INSERT INTO Notice VALUES('n%1','Mareth','Mareth','2026-11-26 %2:00:00')")
                    .arg(hour - 8)
                    .arg(hour)))
            return false;
    return true;
}

// Each row's cells joined by "|", as the client holds them.
QStringList rowTexts(const DataPacket &packet) {
    QStringList rows;
    for (int row = 0; row < packet.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < packet.columnCount(); ++column)
            cells << packet.cell(row, column);
        rows << cells.join('|');
    }
    return rows;
}

// The panel's rows as the database file holds them, in the same form.
QStringList storedPanel(const ServerProcess &server) {
    return server.queryDatabaseFile("Select ifnull(Content,'')||'|'||ifnull(Demander,'')||'|'||"
                                    "ifnull(Performer,'')||'|'||ifnull(CreateTime,'') From Notice "
                                    "Where CreateTime>='2026-11-25' Order by CreateTime desc");
}

size_t rowsIn(const std::string &body) {
    return json::parse(body)["rows"].size();
}

} // namespace

class TestAnswersNotResent : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void sameStatementTwiceIsNotResent();
    void changeToATableReadBringsTheNewRows();
    void changeToAnotherTableKeepsTheAnswer();
    void writeByAnotherProcessBringsTheNewRows();
    void membersAreCheckedBeforeAnAnswerIsReused();
    void answersThatReadTheClockAreNotReused();
    void gatewayKeepsItsRecordSetWhileUnchanged();
    void answersOnTheSameMachineAreNotCompressed();
    void onlyTheChangedRowsAreSent_data();
    void onlyTheChangedRowsAreSent();
    void manyChangesInARowRebuildTheSameRows();
    void changedRowsOnlyWhenAskedFor_data();
    void changedRowsOnlyWhenAskedFor();

private:
    std::unique_ptr<ServerProcess> server_;
};

void TestAnswersNotResent::init() {
    server_ = std::make_unique<ServerProcess>();
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QVERIFY(server_->addTestMember());
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Notice VALUES('first','Mareth','Mareth','2026-11-26 09:00:00')"));
}

void TestAnswersNotResent::cleanup() {
    QVERIFY(server_->stop());
    server_.reset();
}

void TestAnswersNotResent::sameStatementTwiceIsNotResent() {
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(first.status, 200);
    QVERIFY(!first.etag.empty());
    QCOMPARE(rowsIn(first.body), size_t(1));

    const Answer again = post(server_->port(), "OpenSQL", kPanel, first.etag);
    QCOMPARE(again.status, 304);
    QVERIFY(again.body.empty());
    QCOMPARE(again.etag, first.etag);
    // Among other tags, and compared weakly as If-None-Match does.
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, "\"other\", W/" + first.etag).status, 304);
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, "\"other\"").status, 200);

    // Without the tag the same answer comes whole, from the server's cache.
    const Answer whole = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(whole.status, 200);
    QCOMPARE(whole.body, first.body);
    QCOMPARE(whole.etag, first.etag);
}

void TestAnswersNotResent::changeToATableReadBringsTheNewRows() {
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(post(server_->port(), "ExecSQL", notice("second", "2026-11-27 10:00:00")).status, 200);
    const Answer after = post(server_->port(), "OpenSQL", kPanel, first.etag);
    QCOMPARE(after.status, 200);
    QVERIFY(after.etag != first.etag);
    QCOMPARE(rowsIn(after.body), size_t(2));
    QCOMPARE(json::parse(after.body)["rows"][0][0].get<std::string>(), std::string("second"));
}

void TestAnswersNotResent::changeToAnotherTableKeepsTheAnswer() {
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
}

void TestAnswersNotResent::writeByAnotherProcessBringsTheNewRows() {
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Notice VALUES('outside','Mareth','Mareth','2026-11-28 08:00:00')"));
    const Answer after = post(server_->port(), "OpenSQL", kPanel, first.etag);
    QCOMPARE(after.status, 200);
    QCOMPARE(rowsIn(after.body), size_t(2));
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, after.etag).status, 304);
}

void TestAnswersNotResent::membersAreCheckedBeforeAnAnswerIsReused() {
    const Answer first = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, first.etag, "wrong").status, 401);
    QCOMPARE(post(server_->port(), "OpenSQL", kPanel, "*", "wrong").status, 401);
    // A statement the client never sends is refused even with a tag that names everything.
    QCOMPARE(post(server_->port(), "OpenSQL", "Select Content From Notice", "*").status, 403);
}

void TestAnswersNotResent::answersThatReadTheClockAreNotReused() {
    // Only other tools send such statements, and only privileged members may.
    ServerProcess anyStatement({"--statements", "any"});
    anyStatement.setDatabase(server_->dbPath());
    QVERIFY2(anyStatement.start(), qPrintable(anyStatement.errorText()));
    const Answer clock =
        post(anyStatement.port(), "OpenSQL", "Select Content, strftime('%f','now') From Notice");
    QCOMPARE(clock.status, 200);
    QCOMPARE(clock.etag, std::string());
    QVERIFY(!post(anyStatement.port(), "OpenSQL", "Select Content From Notice").etag.empty());
    QVERIFY(anyStatement.stop());
}

void TestAnswersNotResent::gatewayKeepsItsRecordSetWhileUnchanged() {
    ServerConnection connection;
    openAsTestMember(connection, *server_);
    AppServerGateway gateway(&connection);
    const QString panel = QString::fromStdString(kPanel);

    const PDataPacket first = gateway.openSql(panel);
    QCOMPARE(first->rowCount(), 1);
    const PDataPacket again = gateway.openSql(panel);
    QCOMPARE(again.get(), first.get()); // the same record set: nothing sent, nothing parsed

    QVERIFY(gateway.execSql(QString::fromStdString(notice("second", "2026-11-27 10:00:00"))).succeeded);
    const PDataPacket changed = gateway.openSql(panel);
    QVERIFY(changed.get() != first.get());
    QCOMPARE(changed->rowCount(), 2);
    QCOMPARE(changed->cell(0, 0), QStringLiteral("second"));
}

void TestAnswersNotResent::answersOnTheSameMachineAreNotCompressed() {
    std::string values;
    for (int i = 0; i < 400; ++i)
        values += std::string(i ? "," : "") + "('notice " + std::to_string(i) +
                  " of a long day in the department','Mareth','Mareth','2026-11-27 10:00:00')";
    QVERIFY(
        server_->execOnDatabaseFile(QString::fromStdString("INSERT INTO Notice VALUES" + values)));
    const Answer large = post(server_->port(), "OpenSQL", kPanel);
    QCOMPARE(large.status, 200);
    QVERIFY(large.body.size() > 16 * 1024);
    QCOMPARE(large.encoding, std::string());
    QCOMPARE(rowsIn(large.body), size_t(401));
}

void TestAnswersNotResent::onlyTheChangedRowsAreSent_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("rowsKept");
    QTest::addColumn<QStringList>("sent");

    // The panel before: n6, n5, n4, n3, n2, first (newest first).
    QTest::newRow("new notice on top")
        << "INSERT INTO Notice VALUES('newest','Mareth','Mareth','2026-11-27 08:00:00')" << 226
        << "0, 6" << QStringList{"newest"};
    QTest::newRow("oldest notice added at the end")
        << "INSERT INTO Notice VALUES('oldest','Mareth','Mareth','2026-11-25 08:00:00')" << 226
        << "6, 0" << QStringList{"oldest"};
    QTest::newRow("one notice changed") << "UPDATE Notice SET Content='n4 again' WHERE Content='n4'"
                                        << 226 << "2, 3" << QStringList{"n4 again"};
    QTest::newRow("one notice gone")
        << "DELETE FROM Notice WHERE Content='n3'" << 226 << "3, 2" << QStringList{};
    QTest::newRow("a notice on top, one gone in the middle")
        << "INSERT INTO Notice VALUES('newest','M','M','2026-11-28 08:00:00');"
           "DELETE FROM Notice WHERE Content='n4'"
        << 226 << "0, 3" << QStringList{"newest", "n6", "n5"};
    QTest::newRow("a notice's text changed to its own JSON form")
        << "UPDATE Notice SET Content='say \"hi\"' WHERE Content='n4';"
           "UPDATE Notice SET Content='say \\\"hi\\\"' WHERE Content='n3'"
        << 226 << "2, 2" << QStringList{"say \"hi\"", "say \\\"hi\\\""};
    QTest::newRow("a value becomes NULL") << "UPDATE Notice SET Performer=NULL WHERE Content='n5'"
                                          << 226 << "1, 4" << QStringList{"n5"};
    QTest::newRow("every notice changed: the whole answer")
        << "UPDATE Notice SET Content=Content||'!'" << 200 << "" << QStringList{};
}

void TestAnswersNotResent::onlyTheChangedRowsAreSent() {
    QFETCH(QString, change);
    QFETCH(int, status);
    QFETCH(QString, rowsKept);
    QFETCH(QStringList, sent);
    QVERIFY(addFiveNotices(*server_));
    ServerConnection connection;
    openAsTestMember(connection, *server_);
    AppServerGateway gateway(&connection);
    const QString panel = QString::fromStdString(kPanel);
    QCOMPARE(gateway.openSql(panel)->rowCount(), 6);
    const Answer before = post(server_->port(), "OpenSQL", kPanel);

    QVERIFY(server_->execOnDatabaseFile(change));
    const Answer after = postForChanges(server_->port(), kPanel, before.etag);
    QCOMPARE(after.status, status);
    if (status == 226) {
        QCOMPARE(after.deltaBase, before.etag);
        QCOMPARE(QString::fromStdString(after.rowsKept), rowsKept);
        QStringList contents;
        for (const std::string &content : firstCells(after.body))
            contents << QString::fromStdString(content);
        QCOMPARE(contents, sent);
    }
    QCOMPARE(postForChanges(server_->port(), kPanel, after.etag).status, 304);

    // The client rebuilds exactly what the database holds.
    QCOMPARE(rowTexts(*gateway.openSql(panel)), storedPanel(*server_));
}

void TestAnswersNotResent::manyChangesInARowRebuildTheSameRows() {
    // Each refresh builds on the rows the last one rebuilt, past the point
    // where the client copies them into one again.
    QVERIFY(addFiveNotices(*server_));
    ServerConnection connection;
    openAsTestMember(connection, *server_);
    AppServerGateway gateway(&connection);
    const QString panel = QString::fromStdString(kPanel);
    gateway.openSql(panel);
    const QStringList changes = {
        "INSERT INTO Notice VALUES('top %1','M','M','2026-11-27 %1:00:00')",
        "INSERT INTO Notice VALUES('end %1','M','M','2026-11-25 %1:00:00')",
        "UPDATE Notice SET Content=Content||'+' WHERE rowid=(SELECT rowid FROM Notice "
        "ORDER BY CreateTime LIMIT 1 OFFSET 3)",
        "DELETE FROM Notice WHERE rowid=(SELECT rowid FROM Notice ORDER BY CreateTime DESC "
        "LIMIT 1 OFFSET 2)",
        "INSERT INTO Notice VALUES('mid %1','M','M','2026-11-26 10:30:%1');"
        "INSERT INTO Notice VALUES('top2 %1','M','M','2026-11-28 %1:00:00')",
    };
    int shared = 0;
    for (int round = 10; round < 34; ++round) {
        QVERIFY(server_->execOnDatabaseFile(changes[round % changes.size()].arg(round)));
        const PDataPacket rebuilt = gateway.openSql(panel);
        shared += rebuilt->runs.empty() ? 0 : 1;
        QCOMPARE(rowTexts(*rebuilt), storedPanel(*server_));
    }
    QVERIFY(shared > 0);
}

void TestAnswersNotResent::changedRowsOnlyWhenAskedFor_data() {
    QTest::addColumn<QString>("manipulations");
    QTest::addColumn<bool>("knownTag");
    QTest::addColumn<int>("status");

    QTest::newRow("asked") << "rowdiff" << true << 226;
    QTest::newRow("asked in capitals, among others") << "vcdiff, ROWDIFF;q=0.5" << true << 226;
    QTest::newRow("not asked") << "" << true << 200;
    QTest::newRow("another manipulation") << "vcdiff" << true << 200;
    QTest::newRow("refused with q=0") << "rowdiff;q=0" << true << 200;
    QTest::newRow("an answer the server does not know") << "rowdiff" << false << 200;
}

void TestAnswersNotResent::changedRowsOnlyWhenAskedFor() {
    QFETCH(QString, manipulations);
    QFETCH(bool, knownTag);
    QFETCH(int, status);
    const Answer before = post(server_->port(), "OpenSQL", kPanel);
    QVERIFY(server_->execOnDatabaseFile(
        "INSERT INTO Notice VALUES('second','Mareth','Mareth','2026-11-27 10:00:00')"));
    const Answer after =
        postForChanges(server_->port(), kPanel, knownTag ? before.etag : "\"0123456789abcdef\"",
                       manipulations.toStdString());
    QCOMPARE(after.status, status);
    QCOMPARE(rowsIn(after.body), size_t(status == 226 ? 1 : 2));
}

QTEST_GUILESS_MAIN(TestAnswersNotResent)
#include "TestAnswersNotResent.moc"
