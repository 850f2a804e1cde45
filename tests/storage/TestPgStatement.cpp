// The client's SQLite statements as PostgreSQL receives them, and the ones the
// server refuses before PostgreSQL sees them.

#include "ClientTables.h"
#include "PgStatement.h"

#include <QtTest>

using appserver::Method;
using appserver::Outcome;
using appserver::translateForPostgres;

Q_DECLARE_METATYPE(appserver::Method)

class TestPgStatement : public QObject {
    Q_OBJECT
private slots:
    void translated_data();
    void translated();
    void refused_data();
    void refused();
    void whatIsRead_data();
    void whatIsRead();
};

void TestPgStatement::translated_data() {
    QTest::addColumn<Method>("method");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    const Method open = Method::OpenSQL, exec = Method::ExecSQL, del = Method::DelSQL;
    QTest::newRow("names in any case") << open << "select remark, PASSWORD from login"
                                       << R"(select "Remark", "PassWord" from "Login")";
    QTest::newRow("quoted names") << open << "select [proid], `ProAim`, \"PROFROM\" from programe"
                                  << R"(select "ProId", "ProAim", "ProFrom" from "Programe")";
    QTest::newRow("login name compared")
        << open << "Select * From Login where UseName='TB58' and PassWord='pw'"
        << R"(Select * From "Login" where lower("UseName" COLLATE "C")=lower('TB58' COLLATE "C") and "PassWord"='pw')";
    QTest::newRow("login name on the right")
        << open << "Select * From Login where 'kestra'<>Login.UseName"
        << R"(Select * From "Login" where lower('kestra' COLLATE "C")<>lower("Login"."UseName" COLLATE "C"))";
    QTest::newRow("login name assigned, then compared")
        << exec << "update Login Set UseName='a',PassWord='b' where UseName='c'"
        << R"(update "Login" Set "UseName"='a',"PassWord"='b' where lower("UseName" COLLATE "C")=lower('c' COLLATE "C"))";
    QTest::newRow("login name ordered") << open << "select * from Login where UseName>='a'"
                                        << R"(select * from "Login" where "UseName">='a')";
    QTest::newRow("like without escape")
        << open << "Select * From Task Where TaskPerformer like'%a\\b%' and TaskCompleteFlag<>'2'"
        << R"(Select * From "Task" Where "TaskPerformer" ILIKE'%a\b%' ESCAPE '' and "TaskCompleteFlag"<>'2')";
    QTest::newRow("like a pattern without letters")
        << open << "Select * From Task Where TaskPerformer like '%成员1_号%' or TaskId like '%7'"
        << R"(Select * From "Task" Where "TaskPerformer" LIKE '%成员1_号%' ESCAPE '' or "TaskId" LIKE '%7' ESCAPE '')";
    QTest::newRow("like a pattern in an expression")
        << open << "select * from Task where TaskId like '%7' || TaskContent"
        << R"(select * from "Task" where "TaskId" ILIKE '%7' || "TaskContent")";
    QTest::newRow("like with escape") << open << "select 'a%' like 'a!%' escape '!'"
                                      << "select 'a%' ILIKE 'a!%' escape '!'";
    QTest::newRow("delete without FROM") << del << "delete Programe Where ProId='GD1'"
                                         << R"(delete From "Programe" Where "ProId"='GD1')";
    QTest::newRow("literals kept") << exec << "Insert into Notice values('ProId like UseName=''x''',"
                                              "'a','b','c');"
                                   << R"(Insert into "Notice" values('ProId like UseName=''x''','a','b','c'))";
    QTest::newRow("SQLite's functions")
        << open << "select instr(Remark,'a'), ifnull(Remark,'') from Login"
        << R"(select strpos("Remark",'a'), coalesce("Remark",'') from "Login")";
    QTest::newRow("subquery named") << open << "select x from (select Remark as x from Login)"
                                    << R"(select x from (select "Remark" as x from "Login") AS derived)";
}

void TestPgStatement::translated() {
    QFETCH(Method, method);
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    const auto statement = translateForPostgres(method, sql.toStdString());
    QCOMPARE(int(statement.outcome), int(Outcome::Ok));
    QCOMPARE(QString::fromStdString(statement.text), expected);
}

void TestPgStatement::refused_data() {
    QTest::addColumn<Method>("method");
    QTest::addColumn<QString>("sql");
    const Method open = Method::OpenSQL, exec = Method::ExecSQL, del = Method::DelSQL;
    QTest::newRow("two statements") << exec << "update Login Set Remark='x'; delete From Login";
    QTest::newRow("insert via OpenSQL") << open << "Insert into Login values('a','b','c')";
    QTest::newRow("select into") << open << "select * into Stolen from Login";
    QTest::newRow("delete via ExecSQL") << exec << "delete From Login";
    QTest::newRow("update via DelSQL") << del << "update Login Set Remark='x'";
    QTest::newRow("DDL") << exec << "CREATE TABLE t(a text)";
    QTest::newRow("SET") << exec << "SET statement_timeout = 0";
    QTest::newRow("COPY") << open << "COPY Login TO '/tmp/x'";
    QTest::newRow("catalog") << open << "select * from pg_authid";
    QTest::newRow("catalog in a list") << open << "select * from Login a, pg_roles b";
    QTest::newRow("catalog in a subquery")
        << open << "select * from Login where Remark in (select rolname from pg_roles)";
    QTest::newRow("qualified") << open << "select * from public.Login";
    QTest::newRow("function") << open << "select pg_read_file('/etc/passwd')";
    QTest::newRow("setting") << open << "select set_config('default_transaction_read_only','off',false)";
    QTest::newRow("replace") << exec << "replace into Login values('a','b','c')";
    QTest::newRow("WITH") << exec << "WITH v AS (SELECT 1) INSERT INTO Login SELECT * FROM v";
}

void TestPgStatement::refused() {
    QFETCH(Method, method);
    QFETCH(QString, sql);
    const auto statement = translateForPostgres(method, sql.toStdString());
    QCOMPARE(int(statement.outcome), int(Outcome::Refused));
    QVERIFY(!statement.error.empty());
}

void TestPgStatement::whatIsRead_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<bool>("followsTables");
    QTest::newRow("one table") << "Select * From Task where TaskDemander='a'"
                               << QStringList{"Task"} << true;
    QTest::newRow("subquery and quoted name")
        << "select * from [notice] where Performer in (select Remark from \"LOGIN\")"
        << QStringList{"Login", "Notice"} << true;
    QTest::newRow("a list and a join") << "select * from Programe p, Task join Notice on 1=1"
                                       << QStringList{"Programe", "Task", "Notice"} << true;
    QTest::newRow("no table") << "select 1" << QStringList{} << true;
    QTest::newRow("the clock")
        << "select * from Notice where CreateTime > cast(current_date as text)"
        << QStringList{"Notice"} << false;
    QTest::newRow("now as a date") << "select * from Notice where CreateTime > 'now'::date"
                                   << QStringList{"Notice"} << false;
    QTest::newRow("the role") << "select current_user from Login" << QStringList{"Login"}
                              << false;
    QTest::newRow("a table without a counter") << "select * from Login, other"
                                               << QStringList{"Login"} << false;
}

void TestPgStatement::whatIsRead() {
    QFETCH(QString, sql);
    QFETCH(QStringList, tables);
    QFETCH(bool, followsTables);
    const auto statement = translateForPostgres(Method::OpenSQL, sql.toStdString());
    QCOMPARE(int(statement.outcome), int(Outcome::Ok));
    QStringList named;
    for (size_t t = 0; t < std::size(appserver::kClientTables); ++t)
        if (statement.tablesNamed & (1u << t))
            named << appserver::kClientTables[t];
    QCOMPARE(named, tables);
    QCOMPARE(statement.answerFollowsTables, followsTables);
}

QTEST_GUILESS_MAIN(TestPgStatement)
#include "TestPgStatement.moc"
