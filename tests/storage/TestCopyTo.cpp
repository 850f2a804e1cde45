// Moving a department from its SQLite file to PostgreSQL (--copy-to): the
// server on the copy answers every table as the server on the file did, and a
// database that holds rows already is refused and left as it was.

#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

// As the demo department's privileged member, who may read every table whole.
httplib::Client demoMember(int port) {
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth("tb58", "solvane");
    return client;
}

json rowsOf(int port, const std::string &sql) {
    httplib::Client client = demoMember(port);
    auto result = client.Post("/datasnap/rest/TZelServerDataBase/OpenSQL", sql, "text/plain");
    return result ? json::parse(result->body, nullptr, false)["rows"] : json();
}

int copyTo(const QString &file, const QString &target, QString &output) {
    QProcess copy;
    copy.start(ServerProcess::binary(),
               {"--db", file, "--copy-to", target, "--grant-to",
                qEnvironmentVariable("SOLVANE_TEST_PG_ROLE", "solvane_server")});
    copy.waitForFinished(60000);
    output = QString::fromUtf8(copy.readAllStandardOutput() + copy.readAllStandardError());
    return copy.exitStatus() == QProcess::NormalExit ? copy.exitCode() : -1;
}

const char *const kEveryTable[] = {
    "Select * From Login", "Select * From Programe", "Select * From Task", "Select * From Notice",
    "Select ChangedAt,ByLogin,ByName,Verb,RowTable,KeyId,KeyContent,KeyDemander,Changes From "
    "solvane_journal order by Seq"};

} // namespace

class TestCopyTo : public QObject {
    Q_OBJECT
private slots:
    void copiesEveryRowAndRefusesATargetWithRows();
};

void TestCopyTo::copiesEveryRowAndRefusesATargetWithRows() {
    if (!PgTestDatabase::unavailableReason().isEmpty())
        QSKIP(qPrintable(PgTestDatabase::unavailableReason()));
    ServerProcess file({"--demo", "--statements", "any"});
    QVERIFY2(file.start(), qPrintable(file.errorText()));
    // Text COPY must carry as it is.
    demoMember(file.port())
        .Post("/datasnap/rest/TZelServerDataBase/ExecSQL",
              "Insert into Notice values('a\\b\tc\nd\r任务',null,'','2026-01-01')", "text/plain");
    // The journal goes along, in its order.
    demoMember(file.port())
        .Post("/datasnap/rest/TZelServerDataBase/ExecSQL",
              "Insert into Programe values('KF20990101001','s','a','c','Mareth','Halvic',"
              "'2026-12-01 09:00:00','2026-12-20 09:00:00','No','0','')",
              "text/plain");
    std::vector<json> expected;
    for (const char *sql : kEveryTable)
        expected.push_back(rowsOf(file.port(), sql));
    QCOMPARE(expected.back().size(), size_t(1));
    QVERIFY(file.stop());

    PgTestDatabase target;
    QVERIFY2(target.createEmpty(), qPrintable(target.errorText()));
    QString output;
    QVERIFY2(copyTo(file.dbPath(), target.ownerConnection(), output) == 0, qPrintable(output));
    QVERIFY2(output.contains("Login: 14 rows") && output.contains("Task: 8 rows"),
             qPrintable(output));

    ServerProcess copied({"--statements", "any"}, ServerProcess::Storage::Postgres);
    copied.setDatabase(target.serverConnection());
    QVERIFY2(copied.start(), qPrintable(copied.errorText()));
    for (size_t t = 0; t < expected.size(); ++t)
        QCOMPARE(rowsOf(copied.port(), kEveryTable[t]).dump(), expected[t].dump());

    // Once more into the same database: refused, nothing added.
    QVERIFY(copyTo(file.dbPath(), target.ownerConnection(), output) != 0);
    QVERIFY2(output.contains("not empty"), qPrintable(output));
    QCOMPARE(rowsOf(copied.port(), "Select * From Login").size(), size_t(14));
    QVERIFY(copied.stop());
}

QTEST_GUILESS_MAIN(TestCopyTo)
#include "TestCopyTo.moc"
