// The client's SQLite statements as PostgreSQL receives them, and the ones the
// server refuses before PostgreSQL sees them.

#include "statements/ClientTables.h"
#include "storage/postgres/PgStatement.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

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
    void rewriteKeepsLiteralsAndCalls();
};

namespace {

// The tokens PostgreSQL 15 reads (standard_conforming_strings on), as far as
// the checks below look: string constants with their values, and the names
// that call a function.
struct PgReading {
    std::vector<std::string> literals; // but the empty escape LIKE is given
    std::vector<std::string> calls;    // lower case
    bool understood = true;            // false: a construct not read here
};

bool isIdentByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c >= 0x80;
}

PgReading readAsPostgres(const std::string &sql) {
    PgReading reading;
    std::string lastWord; // the previous token, when a bare word
    bool escapeWord = false;
    size_t at = 0;
    auto skipBlanks = [&](size_t from) {
        for (;;) {
            while (from < sql.size() && std::strchr(" \t\n\r\f\v", sql[from]) && sql[from])
                ++from;
            if (sql.compare(from, 2, "--") == 0) {
                while (from < sql.size() && sql[from] != '\n' && sql[from] != '\r')
                    ++from;
            } else if (sql.compare(from, 2, "/*") == 0) {
                int depth = 0;
                do {
                    if (sql.compare(from, 2, "/*") == 0) {
                        ++depth;
                        from += 2;
                    } else if (sql.compare(from, 2, "*/") == 0) {
                        --depth;
                        from += 2;
                    } else {
                        ++from;
                    }
                } while (depth > 0 && from < sql.size());
            } else {
                return from;
            }
        }
    };
    while ((at = skipBlanks(at)) < sql.size()) {
        const unsigned char c = static_cast<unsigned char>(sql[at]);
        if (c == '\'' || ((c == 'e' || c == 'E') && at + 1 < sql.size() && sql[at + 1] == '\'')) {
            if (c != '\'') {
                reading.understood = false; // escape strings: the guard refuses them
                return reading;
            }
            std::string value;
            for (++at; at < sql.size(); ++at) {
                if (sql[at] == '\'') {
                    if (at + 1 < sql.size() && sql[at + 1] == '\'') {
                        value += '\'';
                        ++at;
                        continue;
                    }
                    break;
                }
                value += sql[at];
            }
            ++at;
            if (!(escapeWord && value.empty()))
                reading.literals.push_back(value);
            lastWord.clear();
            escapeWord = false;
        } else if (c == '"') {
            for (++at; at < sql.size(); ++at)
                if (sql[at] == '"' && !(at + 1 < sql.size() && sql[at + 1] == '"' && ++at))
                    break;
            ++at;
            lastWord.clear();
        } else if (c == '$' && !(at > 0 && isIdentByte(static_cast<unsigned char>(sql[at - 1])))) {
            reading.understood = false; // dollar quotes: the guard refuses them
            return reading;
        } else if (isIdentByte(c) && !(c >= '0' && c <= '9')) {
            const size_t start = at;
            while (at < sql.size() && isIdentByte(static_cast<unsigned char>(sql[at])))
                ++at;
            lastWord = sql.substr(start, at - start);
            for (char &l : lastWord)
                l = char(std::tolower(static_cast<unsigned char>(l)));
            escapeWord = lastWord == "escape";
            if (skipBlanks(at) < sql.size() && sql[skipBlanks(at)] == '(')
                reading.calls.push_back(lastWord);
        } else {
            ++at;
            lastWord.clear();
            escapeWord = false;
        }
    }
    return reading;
}

// A literal's text, made of the bytes that trip lexers up.
std::string randomLiteralValue(QRandomGenerator &random) {
    static const char *const parts[] = {"a",  "Z", "\\", "'", "$", "$$",     "*/", "/*", "--",
                                        "\"", "E", "e'", "(", ")", ";",      "\r", "\n", "`",
                                        "[",  "]", "成", " ", "%", "lower(", "OR"};
    std::string value;
    const int length = random.bounded(6);
    for (int i = 0; i < length; ++i)
        value += parts[random.bounded(int(std::size(parts)))];
    return value;
}

std::string quotedLiteral(const std::string &value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    return out + "'";
}

} // namespace

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
    QTest::newRow("subquery named before a word")
        << open << "select x from (select Remark as x from Login)where 1=1"
        << R"(select x from (select "Remark" as x from "Login") AS derived where 1=1)";
    QTest::newRow("inserted words stand apart")
        << open << "Select * From Login where UseName='x'OR'y'=UseName"
        << R"(Select * From "Login" where lower("UseName" COLLATE "C")=lower('x' COLLATE "C")OR lower('y' COLLATE "C")=lower("UseName" COLLATE "C"))";
    QTest::newRow("backticks around a double quote") << open << "select `a\"b` from Login"
                                                     << R"(select "a""b" from "Login")";
    QTest::newRow("brackets around a double quote") << open << "select [a\"b] from Login"
                                                    << R"(select "a""b" from "Login")";
    QTest::newRow("doubled backtick") << open << "select `a``b` from Login"
                                      << R"(select "a`b" from "Login")";
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
    // PostgreSQL would read these otherwise than SQLite's lexer, and run the call.
    QTest::newRow("escape string") << open << "SELECT E'\\'', pg_sleep(2) --'";
    QTest::newRow("escape string, lower case") << open << "SELECT e'\\'', pg_sleep(2) --'";
    QTest::newRow("dollar quote") << open << "SELECT $$'$$, pg_sleep(2) --'";
    QTest::newRow("tagged dollar quote") << open << "SELECT $x$'$x$, pg_sleep(2) --'";
    QTest::newRow("nested comment") << open << "SELECT /* /* */ ' */, pg_sleep(2) --'";
    QTest::newRow("comment ended by a carriage return")
        << open << "SELECT 1 -- x\r, pg_sleep(2) --\n";
    QTest::newRow("escape string in a change")
        << exec << "update Login Set Remark=E'\\'' where 1=pg_sleep(2) --'";
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

// Over many generated statements: every literal reaches PostgreSQL with its
// bytes, and PostgreSQL sees no call the statement did not make (lower() is
// put in on purpose, instr and ifnull become strpos and coalesce).
void TestPgStatement::rewriteKeepsLiteralsAndCalls() {
    QRandomGenerator random(20261211);
    const char *const gaps[] = {"", " ", "\n", "/* c */", " -- c\n", "\t"};
    const char *const joiners[] = {"and", "or", "AND", "OR"};
    int checked = 0;
    for (int n = 0; n < 3000; ++n) {
        std::vector<std::string> literals;
        std::vector<std::string> calls;
        auto gap = [&] { return std::string(gaps[random.bounded(int(std::size(gaps)))]); };
        auto literal = [&] {
            literals.push_back(randomLiteralValue(random));
            return quotedLiteral(literals.back());
        };
        std::string statementSoFar = "Select * From Login where ";
        const int conditions = 1 + random.bounded(4);
        for (int c = 0; c < conditions; ++c) {
            std::string condition;
            std::string &sql = condition;
            switch (random.bounded(6)) {
            case 0:
                sql += "UseName" + gap() + "=" + gap() + literal();
                break;
            case 1:
                sql += literal() + gap() + "=" + gap() + "UseName";
                break;
            case 2:
                sql += "Remark" + gap() + "like" + gap() + literal();
                break;
            case 3:
                sql += "instr(Remark," + gap() + literal() + ")" + gap() + ">0";
                calls.push_back("strpos");
                break;
            case 4: {
                // Made in turn: the operands of + may be evaluated in any order.
                const std::string first = literal();
                sql += "ifnull([Remark]," + first + ")" + gap() + "<>" + literal();
                calls.push_back("coalesce");
                break;
            }
            default:
                sql += "(`PassWord`" + gap() + "=" + literal() + ")";
                break;
            }
            if (c > 0) {
                // Words apart, quotes and parentheses as they come.
                std::string before = gap(), after = gap();
                if (before.empty() &&
                    isIdentByte(static_cast<unsigned char>(statementSoFar.back())))
                    before = " ";
                if (after.empty() && isIdentByte(static_cast<unsigned char>(condition.front())))
                    after = " ";
                statementSoFar += before + joiners[random.bounded(4)] + after;
            }
            statementSoFar += condition;
        }
        const std::string &sql = statementSoFar;
        const auto statement = translateForPostgres(Method::OpenSQL, sql);
        QVERIFY2(statement.outcome == Outcome::Ok, (sql + " : " + statement.error).c_str());
        const PgReading reading = readAsPostgres(statement.text);
        QVERIFY2(reading.understood, statement.text.c_str());
        std::string read;
        for (const std::string &value : reading.literals)
            read += "<" + value + ">";
        QVERIFY2(reading.literals == literals,
                 (sql + "\n -> " + statement.text + "\n literals: " + read).c_str());
        std::vector<std::string> madeCalls; // keywords before a parenthesis call nothing
        for (const std::string &call : reading.calls)
            if (call != "lower" && call != "where" && call != "and" && call != "or")
                madeCalls.push_back(call);
        std::string seen;
        for (const std::string &call : madeCalls)
            seen += call + ' ';
        QVERIFY2(madeCalls == calls,
                 (sql + "\n -> " + statement.text + "\n calls: " + seen).c_str());
        ++checked;
    }
    QCOMPARE(checked, 3000);
}

QTEST_GUILESS_MAIN(TestPgStatement)
#include "TestPgStatement.moc"
