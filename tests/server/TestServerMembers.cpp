// Only members get in, and only with the statements the client sends: the
// server's answers to strangers, to ordinary and to privileged members, and
// the same over HTTPS.

#include "data/answers/ServerError.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/records/RecordSet.h"
#include "support/ServerProcess.h"

#include <QProcess>
#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

const std::string kMethods = "/datasnap/rest/TZelServerDataBase/";

struct Answer {
    int status = 0;
    json body;
    std::string challenge; // WWW-Authenticate
};

Answer call(int port, const std::string &method, const std::string &sql, const char *user,
            const char *password) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10);
    if (user)
        client.set_basic_auth(user, password);
    auto result = client.Post(kMethods + method, sql, "text/plain");
    if (!result)
        return {};
    return {result->status, json::parse(result->body, nullptr, false),
            result->get_header_value("WWW-Authenticate")};
}

} // namespace

class TestServerMembers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void strangersGetOnlyTheHandshake_data();
    void strangersGetOnlyTheHandshake();
    void whatEachMemberMayRun_data();
    void whatEachMemberMayRun();
    void namesThatCannotBeMistaken_data();
    void namesThatCannotBeMistaken();
    void anotherMembersNameFindsNothing();
    void membersAddedOrChangedAreKnownAtOnce();
    void httpsWithACertificateOfItsOwn();
    void oldPasswordsLeaveNoTrace();
    void addMemberReadsThePasswordFromStdin();

private:
    std::unique_ptr<ServerProcess> server_;
};

void TestServerMembers::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    server_ = std::make_unique<ServerProcess>(QStringList{}, ServerProcess::storageUnderTest());
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QVERIFY(server_->execOnDatabaseFile("INSERT INTO Login VALUES('tb58','pw','Mareth'),"
                                        "('kestra','k','Kestra'),('halvic','h','Halvic');"
                                        "INSERT INTO Programe VALUES('GD1','s','a','c','Kestra',"
                                        "'Halvic','2026-12-01 09:00:00','2026-12-20 09:00:00',"
                                        "'No','0','')"));
}

void TestServerMembers::cleanup() {
    if (server_)
        QVERIFY(server_->stop());
    server_.reset();
}

void TestServerMembers::strangersGetOnlyTheHandshake_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("no credentials") << QString() << QString();
    QTest::newRow("unknown member") << "ghost"
                                    << "pw";
    QTest::newRow("wrong password") << "kestra"
                                    << "x";
    QTest::newRow("password in other letter case") << "kestra"
                                                   << "K";
    QTest::newRow("empty password") << "kestra"
                                    << "";
}

void TestServerMembers::strangersGetOnlyTheHandshake() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    const int port = server_->port();
    httplib::Client client("127.0.0.1", port);
    QCOMPARE(client.Get("/datasnap/")->status, 200);
    const QByteArray name = user.toUtf8(), secret = password.toUtf8();
    for (const char *method : {"OpenSQL", "ExecSQL", "DelSQL"}) {
        const Answer answer = call(port, method, "Select * From Login where UseName='kestra'",
                                   user.isNull() ? nullptr : name.constData(), secret.constData());
        QCOMPARE(answer.status, 401);
        QVERIFY(answer.body.contains("error"));
        QVERIFY(answer.challenge.rfind("Basic", 0) == 0);
    }
    QVERIFY(!call(port, "ExecSQL",
                  "update Login Set UseName='x',PassWord='y',Remark='z' where "
                  "UseName='kestra' and PassWord='k'",
                  name.constData(), secret.constData())
                 .body.contains("result"));
    QCOMPARE(server_->queryDatabaseFile("select count(*) from Login where UseName='kestra'"),
             QStringList{"1"});
}

void TestServerMembers::whatEachMemberMayRun_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("status");
    const QString everyone = "Select * From Login";
    const QString add = "Insert into Login values('new','n','New')";
    const QString changeOwn =
        "update Login Set UseName='kestra',PassWord='k2',Remark='Kestra' where UseName='kestra' "
        "and PassWord='k'";
    const QString changeOther =
        "update Login Set UseName='halvic',PassWord='h2',Remark='H' where UseName='halvic' and "
        "PassWord='h'";
    QTest::newRow("privileged lists every member") << "tb58"
                                                   << "OpenSQL" << everyone << 200;
    QTest::newRow("privileged adds a member") << "TB58"
                                              << "ExecSQL" << add << 200;
    QTest::newRow("privileged reads another's row")
        << "tb58"
        << "OpenSQL"
        << "Select * From Login where UseName='kestra'" << 200;
    QTest::newRow("ordinary lists every member") << "kestra"
                                                 << "OpenSQL" << everyone << 403;
    QTest::newRow("ordinary adds a member") << "kestra"
                                            << "ExecSQL" << add << 403;
    QTest::newRow("ordinary reads the display names") << "kestra"
                                                      << "OpenSQL"
                                                      << "Select Remark From Login" << 200;
    QTest::newRow("ordinary reads the own row, any case")
        << "KESTRA"
        << "OpenSQL"
        << "Select * From Login where UseName='Kestra'" << 200;
    // Answered as a name nobody has (anotherMembersNameFindsNothing).
    QTest::newRow("ordinary reads another's row")
        << "kestra"
        << "OpenSQL"
        << "Select * From Login where UseName='HALVIC'" << 200;
    QTest::newRow("ordinary checks another's password")
        << "kestra"
        << "OpenSQL"
        << "Select * From Login where UseName='halvic' and PassWord='h'" << 200;
    QTest::newRow("ordinary changes the own login") << "kestra"
                                                    << "ExecSQL" << changeOwn << 200;
    QTest::newRow("ordinary changes another's login") << "kestra"
                                                      << "ExecSQL" << changeOther << 403;
    QTest::newRow("privileged changes another's login") << "tb58"
                                                        << "ExecSQL" << changeOther << 403;
    const auto rename = [](const QString &name, const QString &display) {
        return "update Login Set UseName='" + name + "',PassWord='k',Remark='" + display +
               "' where UseName='kestra' and PassWord='k'";
    };
    QTest::newRow("ordinary takes a privileged name")
        << "kestra"
        << "ExecSQL" << rename("vqk", "Kestra") << 403;
    QTest::newRow("ordinary takes a privileged name, other case")
        << "kestra"
        << "ExecSQL" << rename("VQK", "Kestra") << 403;
    QTest::newRow("login name blank at its end") << "kestra"
                                                 << "ExecSQL" << rename("kestra ", "Kestra") << 403;
    QTest::newRow("another member's display name")
        << "kestra"
        << "ExecSQL" << rename("kestra", "mareth") << 403;
    QTest::newRow("empty display name") << "kestra"
                                        << "ExecSQL" << rename("kestra", "  ") << 403;
    QTest::newRow("own display name in another case")
        << "kestra"
        << "ExecSQL" << rename("kestra", "KESTRA") << 200;
    QTest::newRow("privileged adds an empty login name")
        << "tb58"
        << "ExecSQL"
        << "Insert into Login values('','n','New')" << 403;
    QTest::newRow("privileged adds a taken display name")
        << "tb58"
        << "ExecSQL"
        << "Insert into Login values('new','n','Halvic')" << 403;
    QTest::newRow("bare parameters") << "halvic"
                                     << "ExecSQL"
                                     << "Insert into Programe values(?,?,?,?,?,?,?,?,?,?,?)" << 403;
    QTest::newRow("bare parameter in a query") << "kestra"
                                               << "OpenSQL"
                                               << "Select * From Login where UseName=?" << 403;
    QTest::newRow("notice dated in the future")
        << "halvic"
        << "ExecSQL"
        << "Insert into Notice values('n','Halvic','Kestra','2099-01-01 00:00:00')" << 403;
    QTest::newRow("notice of the past") << "halvic"
                                        << "ExecSQL"
                                        << "Insert into Notice values('n','Halvic','Kestra',"
                                           "'2026-01-01 00:00:00')"
                                        << 200;
    QTest::newRow("notice over 20 KiB")
        << "halvic"
        << "ExecSQL"
        << "Insert into Notice values('" + QString(20 * 1024 + 1, 'x') +
               "','Halvic','Kestra','2026-01-01 00:00:00')"
        << 403;
    QTest::newRow("display name over 256 bytes")
        << "tb58"
        << "ExecSQL"
        << "Insert into Login values('new','n','" + QString(257, 'x') + "')" << 403;
    QTest::newRow("query value over 16 KiB")
        << "halvic"
        << "OpenSQL"
        << "Select * From Task where TaskId='" + QString(16 * 1024 + 1, 'x') +
               "' Order by TaskCreateTime"
        << 403;
    QTest::newRow("passwords by column") << "tb58"
                                         << "OpenSQL"
                                         << "select UseName,PassWord from Login" << 403;
    QTest::newRow("always true") << "kestra"
                                 << "OpenSQL"
                                 << "Select * From Login where UseName='kestra' or '1'='1'" << 403;
    QTest::newRow("not the client's delete") << "kestra"
                                             << "DelSQL"
                                             << "delete From Login" << 403;
    QTest::newRow("a project query") << "halvic"
                                     << "OpenSQL"
                                     << "Select * From Programe where ProDemander='Halvic' or "
                                        "ProPerformer like '%Halvic%' and ProCompleteFlag='No' "
                                        "Order by ProCompleteTime desc"
                                     << 200;
    QTest::newRow("the client's delete") << "halvic"
                                         << "DelSQL"
                                         << "delete Programe Where ProId='none'" << 200;
}

void TestServerMembers::whatEachMemberMayRun() {
    QFETCH(QString, user);
    QFETCH(QString, method);
    QFETCH(QString, statement);
    QFETCH(int, status);
    const auto everything = [this] {
        return server_->queryDatabaseFile(
                   "select UseName||'/'||PassWord||'/'||Remark from Login order by UseName") +
               server_->queryDatabaseFile("select count(*) from Programe") +
               server_->queryDatabaseFile("select count(*) from Notice");
    };
    const QStringList before = everything();
    const QByteArray password = user.toLower() == "tb58" ? "pw" : user.toLower().left(1).toUtf8();
    const Answer answer = call(server_->port(), method.toStdString(), statement.toStdString(),
                               user.toUtf8().constData(), password.constData());
    QCOMPARE(answer.status, status);
    QVERIFY2(status != 403 || answer.body.contains("error"), answer.body.dump().c_str());
    QVERIFY2(status != 403 || !answer.body.value("code", "").empty(), answer.body.dump().c_str());
    if (status == 403) // refused: nothing changed
        QCOMPARE(everything(), before);
}

void TestServerMembers::namesThatCannotBeMistaken_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("code"); // empty: taken
    const auto display = [](const QString &name) {
        return "update Login Set UseName='kestra',PassWord='k',Remark='" + name +
               "' where UseName='kestra' and PassWord='k'";
    };
    const auto login = [](const QString &name) {
        return "update Login Set UseName='" + name +
               "',PassWord='k',Remark='Kestra' where UseName='kestra' and PassWord='k'";
    };
    const auto add = [](const QString &name, const QString &display) {
        return "Insert into Login values('" + name + "','n','" + display + "')";
    };
    const auto row = [](const char *name, const QString &user, const QString &statement,
                        const QString &code) { QTest::newRow(name) << user << statement << code; };
    // Display names: what a person cannot see, the lists' separators, look-alikes.
    row("an ideographic space after the name", "kestra", display("Mareth\u3000"), "name-invalid");
    row("a no-break space inside", "kestra", display("Kes\u00a0tra"), "name-invalid");
    row("a zero-width space inside", "kestra", display("Kes\u200btra"), "name-invalid");
    row("a soft hyphen inside", "kestra", display("Kes\u00adtra"), "name-invalid");
    row("a tab inside", "kestra", display("Kes\ttra"), "name-invalid");
    row("the related persons' separator", "kestra", display("Halvic|Kestra"), "name-invalid");
    row("a flow node's signature", "kestra", display("---Mareth"), "name-invalid");
    row("a read receipt's signature", "kestra", display("Kes--tra"), "name-invalid");
    row("not in NFC", "kestra", display("Ke\u0301stra"), "name-invalid");
    row("another's name in Cyrillic look-alikes", "kestra", display("\u041Careth"), "name-taken");
    row("another's name in full-width letters", "kestra", display("\uFF2D\uFF41reth"),
        "name-taken");
    row("another's name in capitals", "kestra", display("MARETH"), "name-taken");
    row("another's name with a look-alike letter", "kestra", display("HaIvic"), "name-taken");
    row("a name of its own with an inner blank", "kestra", display("Kestra Two"), "");
    row("a name of its own in NFC", "kestra", display("K\u00e9stra"), "");
    row("a name of its own in Chinese", "kestra", display("\u5f20\u4e09"), "");
    // Login names.
    row("a login name with a zero-width space", "tb58", add("tb58\u200b", "New"), "name-invalid");
    row("a login name with a colon", "tb58", add("new:one", "New"), "name-invalid");
    row("a login name another has, in capitals", "tb58", add("KESTRA", "New"), "name-taken");
    row("a login name like another's", "tb58", add("ha1vic", "New"), "name-taken");
    row("a login name like a privileged one", "kestra", login("t\u042c58"), "not-privileged");
    row("a login name like a privileged one, by the privileged", "tb58", add("t\u042c58", "New"),
        "name-taken");
    row("a login name of its own", "tb58", add("jorun", "Jorun"), "");
}

void TestServerMembers::namesThatCannotBeMistaken() {
    QFETCH(QString, user);
    QFETCH(QString, statement);
    QFETCH(QString, code);
    const auto everything = [this] {
        return server_->queryDatabaseFile(
            "select UseName||'/'||PassWord||'/'||Remark from Login order by UseName");
    };
    const QStringList before = everything();
    const Answer answer = call(server_->port(), "ExecSQL", statement.toStdString(),
                               user.toUtf8().constData(), user == "tb58" ? "pw" : "k");
    if (code.isEmpty()) {
        QCOMPARE(answer.body.value("changes", 0), 1);
        return;
    }
    QCOMPARE(answer.status, 403);
    QCOMPARE(QString::fromStdString(answer.body.value("code", "")), code);
    QCOMPARE(everything(), before);
}

void TestServerMembers::anotherMembersNameFindsNothing() {
    // Whatever the directory holds at the moment: the rows are picked from
    // those the statement itself reads, so no rename can leak a row.
    const int port = server_->port();
    const Answer nobody =
        call(port, "OpenSQL", "Select * From Login where UseName='nobody'", "kestra", "k");
    QCOMPARE(nobody.status, 200);
    QCOMPARE(nobody.body["rows"].size(), size_t(0));
    for (const char *other : {"Select * From Login where UseName='halvic'",
                              "Select * From Login where UseName='HALVIC' and PassWord='h'"})
        QCOMPARE(call(port, "OpenSQL", other, "kestra", "k").body, nobody.body);
    const Answer own =
        call(port, "OpenSQL", "Select * From Login where UseName='KESTRA'", "kestra", "k");
    QCOMPARE(own.body["rows"], json::parse(R"([["kestra","k","Kestra"]])"));
    // The privileged still read anyone's row, also after a member's answer.
    QCOMPARE(call(port, "OpenSQL", "Select * From Login where UseName='halvic'", "tb58", "pw")
                 .body["rows"],
             json::parse(R"([["halvic","h","Halvic"]])"));
}

void TestServerMembers::membersAddedOrChangedAreKnownAtOnce() {
    const int port = server_->port();
    QCOMPARE(call(port, "ExecSQL", "Insert into Login values('jorun','j','Jorun')", "tb58", "pw")
                 .body.value("result", false),
             true);
    QCOMPARE(call(port, "OpenSQL", "Select Remark From Login", "jorun", "j").status, 200);
    QCOMPARE(call(port, "ExecSQL",
                  "update Login Set UseName='jorun2',PassWord='j2',Remark='Jorun' where "
                  "UseName='jorun' and PassWord='j'",
                  "jorun", "j")
                 .body.value("changes", 0),
             1);
    QCOMPARE(call(port, "OpenSQL", "Select Remark From Login", "jorun", "j").status, 401);
    QCOMPARE(call(port, "OpenSQL", "Select Remark From Login", "jorun2", "j2").status, 200);
    // Added past this server (an administrator's --add-member): known within the
    // second in which unknown names may read the table again.
    QVERIFY(server_->execOnDatabaseFile("INSERT INTO Login VALUES('ivrel','i','Ivrel')"));
    QTRY_COMPARE(call(port, "OpenSQL", "Select Remark From Login", "ivrel", "i").status, 200);
}

void TestServerMembers::httpsWithACertificateOfItsOwn() {
    if (server_->isPostgres())
        QSKIP("TLS is the same on either storage: run on SQLite only");
    QTemporaryDir dir;
    const QString cert = dir.filePath("server.pem"), key = dir.filePath("server.key");
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                              "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                              "-keyout", key, "-out", cert});
    QVERIFY(openssl.waitForFinished(60000));
    QCOMPARE(openssl.exitCode(), 0);
    ServerProcess tls({"--tls-cert", cert, "--tls-key", key});
    QVERIFY2(tls.start(true), qPrintable(tls.errorText()));
    QVERIFY(tls.addTestMember());

    // The client's own connection, checking the server against the certificate.
    ServerConnection connection;
    connection.setHostName("127.0.0.1");
    connection.setPort(tls.port());
    connection.setTls(true, cert);
    connection.setCredentials(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    connection.open();
    AppServerGateway gateway(&connection);
    RecordSet rows;
    rows.load(gateway.openSql("Select Remark From Login"));
    QCOMPARE(rows.recordCount(), 1);

    // Without the certificate among its authorities the client refuses the server.
    ServerConnection untrusting;
    untrusting.setHostName("127.0.0.1");
    untrusting.setPort(tls.port());
    untrusting.setTls(true);
    QVERIFY_THROWS_EXCEPTION(ServerError, untrusting.open());
    // And plain HTTP gets no answer from it.
    httplib::Client plain("127.0.0.1", tls.port());
    plain.set_read_timeout(3);
    auto hello = plain.Get("/datasnap/");
    QVERIFY(!hello || hello->status != 200);
    QVERIFY(tls.stop());
}

void TestServerMembers::oldPasswordsLeaveNoTrace() {
    if (server_->isPostgres())
        QSKIP("PostgreSQL's files are the cluster's, not the server's");
    const int port = server_->port();
    const std::string old = "Old-Secret-4711";
    QCOMPARE(call(port, "ExecSQL",
                  "update Login Set UseName='kestra',PassWord='" + old +
                      "',Remark='Kestra' where UseName='kestra' and PassWord='k'",
                  "kestra", "k")
                 .body.value("changes", 0),
             1);
    QCOMPARE(call(port, "ExecSQL",
                  "update Login Set UseName='kestra',PassWord='New-Secret',Remark='Kestra' where "
                  "UseName='kestra' and PassWord='" +
                      old + "'",
                  "kestra", old.c_str())
                 .body.value("changes", 0),
             1);
    // Neither the database file nor its write-ahead log still holds the old one.
    for (const QString &path : {server_->dbPath(), server_->dbPath() + "-wal"}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue; // no log left at all
        QVERIFY2(!file.readAll().contains(QByteArray::fromStdString(old)), qPrintable(path));
    }
}

void TestServerMembers::addMemberReadsThePasswordFromStdin() {
    if (server_->isPostgres())
        QSKIP("the server adds members to a SQLite file only");
    QProcess add;
    add.start(ServerProcess::binary(),
              {"--db", server_->dbPath(), "--add-member", "jorun", "-", "Jorun"});
    QVERIFY(add.waitForStarted());
    add.write("from-stdin\n");
    add.closeWriteChannel();
    QVERIFY(add.waitForFinished(10000));
    QCOMPARE(add.exitCode(), 0);
    QCOMPARE(server_->queryDatabaseFile("select PassWord from Login where UseName='jorun'"),
             QStringList{"from-stdin"});
}

QTEST_GUILESS_MAIN(TestServerMembers)
#include "TestServerMembers.moc"
