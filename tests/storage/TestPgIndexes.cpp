// The member's task list and both reminder counts, as PostgreSQL receives
// them, are served by the trigram indexes --init makes. The tables here are
// small (and --init gathered statistics saying so), so sequential and plain
// index scans are switched off: the test shows the indexes fit these
// statements' filters; it does not show the planner's choice on a
// department's real tables (bench_pg measures that).

#include "storage/postgres/PgStatement.h"
#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <libpq-fe.h>

class TestPgIndexes : public QObject {
    Q_OBJECT
private slots:
    void statementUsesIndexes_data();
    void statementUsesIndexes();
};

void TestPgIndexes::statementUsesIndexes_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("indexes");
    QTest::newRow("task list")
        << "Select * From Task where TaskDemander='成员101号' or TaskPerformer like '%成员101号%' "
           "or TaskCCList like '%成员101号%' order by TaskCompleteTime desc"
        << QStringList{"Task_TaskDemander", "Task_TaskPerformer_trgm", "Task_TaskCCList_trgm"};
    QTest::newRow("project reminder count")
        << "Select * From Programe Where ProPerformer like'%成员101号%' and ProCompleteFlag='No'"
        << QStringList{"Programe_ProPerformer_trgm"};
    QTest::newRow("task reminder count")
        << "Select * From Task Where TaskPerformer like'%成员101号%' and TaskCompleteFlag<>'2'"
        << QStringList{"Task_TaskPerformer_trgm"};
}

void TestPgIndexes::statementUsesIndexes() {
    QFETCH(QString, sql);
    QFETCH(QStringList, indexes);
    if (!PgTestDatabase::unavailableReason().isEmpty())
        QSKIP(qPrintable(PgTestDatabase::unavailableReason()));
    PgTestDatabase database;
    QVERIFY2(database.create(ServerProcess::binary()), qPrintable(database.errorText()));
    const auto statement =
        appserver::translateForPostgres(appserver::Method::OpenSQL, sql.toStdString());
    QVERIFY(!statement.text.empty());

    PGconn *conn = PQconnectdb(database.ownerConnection().toUtf8().constData());
    QCOMPARE(PQstatus(conn), CONNECTION_OK);
    PGresult *plan = PQexec(
        conn, ("SET enable_seqscan = off; SET enable_indexscan = off; EXPLAIN " + statement.text)
                  .c_str());
    QString text;
    for (int r = 0; r < PQntuples(plan); ++r)
        text += QString::fromUtf8(PQgetvalue(plan, r, 0)) + '\n';
    PQclear(plan);
    PQfinish(conn);
    for (const QString &index : indexes)
        QVERIFY2(text.contains(index), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestPgIndexes)
#include "TestPgIndexes.moc"
