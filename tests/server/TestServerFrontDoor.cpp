// The server's front door: password guessing is slowed without a member who
// mistypes ever noticing, one member's queries cannot hold every reader,
// what a request sends reaches the log escaped, and HTTPS speaks only
// TLS 1.2 and 1.3 with forward secrecy.

#include "admission/LoginThrottle.h"
#include "http/LogLines.h"
#include "support/RawSockets.h"
#include "support/ServerProcess.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <nlohmann/json.hpp>

#include <atomic>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using appserver::LoginThrottle;
using nlohmann::json;

namespace {

const std::string kOpenSql = "/datasnap/rest/TZelServerDataBase/OpenSQL";

struct Attempt {
    int status = 0;
    int retryAfter = 0; // seconds, 0: no such header
    json body;
};

// One query with these credentials, from a loopback address of the test's
// choosing, as the server's limits per address see it.
Attempt attempt(int port, const std::string &from, const std::string &user,
                const std::string &password, const std::string &sql = "Select Remark From Login") {
    const std::string pair =
        QByteArray::fromStdString(user + ":" + password).toBase64().toStdString();
    const std::string answer = RawSockets::exchange(
        port,
        "POST " + kOpenSql + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic " + pair +
            "\r\nContent-Length: " + std::to_string(sql.size()) + "\r\nConnection: close\r\n\r\n" +
            sql,
        20000, from);
    Attempt result;
    result.status = RawSockets::statusOf(answer);
    result.body = json::parse(RawSockets::bodyOf(answer), nullptr, false);
    const std::string header = "\r\nRetry-After: ";
    if (const size_t at = answer.find(header); at != std::string::npos)
        result.retryAfter = std::atoi(answer.c_str() + at + header.size());
    return result;
}

std::string errorOf(const Attempt &attempt) {
    return attempt.body.is_object() ? attempt.body.value("error", "") : "";
}

// Steps "N user:password status": from 127.0.0.N, the status expected.
QStringList times(int count, const QString &step) {
    QStringList steps;
    for (int i = 0; i < count; ++i)
        steps << QString(step).replace("#", QString::number(i));
    return steps;
}

// Asks again until the status is wanted or the deadline passes; the last one.
int askUntil(int wanted, int ms, const std::function<int()> &ask) {
    QDeadlineTimer deadline(ms);
    int status = ask();
    while (status != wanted && !deadline.hasExpired()) {
        QTest::qWait(50);
        status = ask();
    }
    return status;
}

// What the server has written to its log so far: its standard error is a file.
QString serverLog(const ServerProcess &server) {
    QFile log(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/2").arg(server.pid())));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

} // namespace

class TestServerFrontDoor : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void throttleWaitsDoubleAndEnd();
    void throttleAcrossAddressesStartsLater();
    void throttleRemembersBoundedly();
    void statementExcerpts_data();
    void statementExcerpts();
    void loginAttempts_data();
    void loginAttempts();
    void waitEndsAndNextOneIsLonger();
    void oneMembersReadsLeaveOthersServed();
    void loggedPathsAreEscaped_data();
    void loggedPathsAreEscaped();
    void tlsHandshakes_data();
    void tlsHandshakes();

private:
    // A server with kestra, halvic and the test member; 0 when it did not start.
    int startServer(const QStringList &extra = {});
    std::unique_ptr<ServerProcess> server_;
    QTemporaryDir tlsFiles_;
};

int TestServerFrontDoor::startServer(const QStringList &extra) {
    server_ = std::make_unique<ServerProcess>(extra);
    if (!server_->start(extra.contains("--tls-cert")))
        return 0;
    return server_->execOnDatabaseFile("INSERT INTO Login VALUES('tb58','pw','Mareth'),"
                                       "('kestra','k','Kestra'),('halvic','h','Halvic')")
               ? server_->port()
               : 0;
}

void TestServerFrontDoor::cleanup() {
    if (server_)
        QVERIFY(server_->stop());
    server_.reset();
}

void TestServerFrontDoor::throttleWaitsDoubleAndEnd() {
    LoginThrottle::Clock::time_point now{};
    LoginThrottle throttle({}, [&] { return now; });
    using Scope = LoginThrottle::Scope;
    // Five failures from one address are free, then each waits twice as
    // long, up to a minute, there only.
    for (int i = 0; i < 5; ++i) {
        throttle.failed("10.0.0.1", "kestra");
        QVERIFY(!throttle.wait("10.0.0.1", "kestra"));
    }
    for (const int seconds : {1, 2, 4, 8, 16, 32, 60, 60}) {
        throttle.failed("10.0.0.1", "kestra");
        QVERIFY(!throttle.wait("10.0.0.9", "kestra"));
        const auto wait = throttle.wait("10.0.0.1", "kestra");
        QVERIFY(wait && wait->scope == Scope::LoginFromAddress);
        QCOMPARE(wait->left.count(), seconds);
        now += std::chrono::seconds(seconds) - 1ms;
        QCOMPARE(throttle.wait("10.0.0.1", "kestra")->left.count(), 1); // rounded up
        now += 1ms;
        QVERIFY(!throttle.wait("10.0.0.1", "kestra"));
    }
    // A success clears the login's counts but not the address's: 13 so far,
    // so seven more (for any logins) are free and the eighth waits.
    throttle.succeeded("10.0.0.1", "kestra");
    for (int i = 0; i < 7; ++i) {
        throttle.failed("10.0.0.1", "ghost" + std::to_string(i));
        QVERIFY(!throttle.wait("10.0.0.1", "kestra"));
    }
    throttle.failed("10.0.0.1", "ghost7");
    const auto wait = throttle.wait("10.0.0.1", "halvic");
    QVERIFY(wait && wait->scope == Scope::Address);
    QVERIFY(!throttle.wait("10.0.0.2", "halvic"));
    // After a quiet spell the address starts over.
    now += 10min;
    throttle.failed("10.0.0.1", "ghost8");
    QVERIFY(!throttle.wait("10.0.0.1", "halvic"));
}

void TestServerFrontDoor::throttleAcrossAddressesStartsLater() {
    LoginThrottle::Clock::time_point now{};
    LoginThrottle throttle({}, [&] { return now; });
    // A hundred guesses from twenty addresses, none of them over its own limits.
    for (int address = 0; address < 20; ++address)
        for (int i = 0; i < 5; ++i)
            throttle.failed("10.0.1." + std::to_string(address), "kestra");
    QVERIFY(!throttle.wait("10.0.1.0", "kestra"));
    throttle.failed("10.0.1.20", "kestra");
    // Every address that has failed waits for the login; one that has not
    // still has the password checked, and other logins are let in.
    const auto wait = throttle.wait("10.0.1.0", "kestra");
    QVERIFY(wait && wait->scope == LoginThrottle::Scope::Login);
    QVERIFY(throttle.wait("10.0.1.20", "kestra"));
    QVERIFY(!throttle.wait("10.0.2.1", "kestra"));
    QVERIFY(!throttle.wait("10.0.1.0", "halvic"));
}

void TestServerFrontDoor::throttleRemembersBoundedly() {
    LoginThrottle::Clock::time_point now{};
    appserver::ThrottleSettings settings;
    settings.firstWait = 16s;
    settings.remembered = 1000;
    LoginThrottle throttle(settings, [&] { return now; });
    for (int i = 0; i < 6; ++i)
        throttle.failed("10.0.0.7", "elsken");
    QVERIFY(throttle.wait("10.0.0.7", "elsken"));
    // 10,120 names from 506 addresses, none of them waiting: elsken is still
    // made to wait, however much else has been given up.
    for (int i = 0; i < 10120; ++i) {
        now += 1ms;
        const std::string name = std::to_string(i);
        throttle.failed("10.1." + std::to_string(i / 20), "guess" + name + std::string(1000, 'x'));
    }
    QCOMPARE(throttle.rememberedAddresses(), size_t(507));
    QCOMPARE(throttle.rememberedLogins(), size_t(1000));
    QCOMPARE(throttle.wait("10.0.0.7", "elsken")->left.count(), 6);
    // Past the bound, a very long name under a short key.
    QVERIFY(LoginThrottle::loginKey("GUESS" + std::string(1000, 'X')).size() < 100);
    QCOMPARE(LoginThrottle::loginKey("GUESS" + std::string(1000, 'X')),
             LoginThrottle::loginKey("guess" + std::string(1000, 'x')));
    // Once quiet for long enough, they are given up as the next comes.
    now += 11min;
    throttle.failed("10.2.0.1", "kestra");
    QCOMPARE(throttle.rememberedAddresses(), size_t(1));
    QCOMPARE(throttle.rememberedLogins(), size_t(1));
}

void TestServerFrontDoor::statementExcerpts_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("excerpt");
    QTest::newRow("values left out")
        << "update Login Set PassWord='s3cret' where UseName='kestra'"
        << "update Login Set PassWord='?' where UseName='?'";
    QTest::newRow("a doubled quote inside")
        << "Select 'it''s' , \"s3cret\" -- s3cret\nFrom x" << "Select '?' , \"?\" From x";
    QTest::newRow("a quote left open") << "update Login Set PassWord='s3cret where x=1"
                                       << "update Login Set PassWord=...";
    QTest::newRow("a quote not doubled")
        << "update Login Set PassWord='it's3cret' where UseName='kestra'"
        << "update Login Set PassWord=...";
    QTest::newRow("long, and open far on")
        << "Select a" + QString(",b").repeated(50) + " from t where x='s3cret"
        << "Select a ...";
}

void TestServerFrontDoor::statementExcerpts() {
    QFETCH(QString, statement);
    QFETCH(QString, excerpt);
    const std::string made = appserver::statementExcerpt(statement.toStdString());
    if (excerpt.endsWith(" ..."))
        QVERIFY2(made.rfind(excerpt.chopped(4).toStdString(), 0) == 0 && made.find('\'') ==
                     std::string::npos && made.size() <= 83,
                 made.c_str());
    else
        QCOMPARE(QString::fromStdString(made), excerpt);
    QVERIFY(made.find("3cret") == std::string::npos);
}

void TestServerFrontDoor::loginAttempts_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("mistyping twice, then in, over and over")
        << times(4, "1 kestra:x 401") + times(1, "1 kestra:k 200") + times(2, "1 kestra:x 401") +
               times(1, "1 KESTRA:k 200") + times(2, "1 kestra:x 401") + times(1, "1 kestra:k 200");
    // The login waits at the guessing address only; the member elsewhere, and
    // other logins from the guessing address, are still let in.
    QTest::newRow("guessing one login")
        << times(6, "2 kestra:guess# 401") + times(1, "2 kestra:guess 429") +
               times(1, "3 Kestra:k 200") + times(1, "2 halvic:h 200") + times(1, "2 tb58:pw 200");
    // The address waits for every login, even a right password; other
    // addresses are served.
    QTest::newRow("guessing many logins")
        << times(21, "4 ghost#:x 401") + times(1, "4 tb58:pw 429") + times(1, "4 ghost:x 429") +
               times(1, "5 tb58:pw 200") + times(1, "5 kestra:k 200");
}

void TestServerFrontDoor::loginAttempts() {
    QFETCH(QStringList, steps);
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    for (const QString &step : steps) {
        const QStringList parts = step.split(' ');
        const QStringList credentials = parts[1].split(':');
        const Attempt answer = attempt(port, "127.0.0." + parts[0].toStdString(),
                                       credentials[0].toStdString(), credentials[1].toStdString());
        QVERIFY2(answer.status == parts[2].toInt(),
                 qPrintable(step + " got " + QString::number(answer.status)));
        if (answer.status == 429) {
            QVERIFY2(answer.retryAfter >= 1 && answer.retryAfter <= 60,
                     qPrintable(QString::number(answer.retryAfter)));
            QVERIFY2(errorOf(answer).find("too many failed logins") != std::string::npos,
                     answer.body.dump().c_str());
        }
    }
    // However many were refused, at most a line a second per address is logged.
    QVERIFY(serverLog(*server_).count(" 429 ") <= 2);
}

void TestServerFrontDoor::waitEndsAndNextOneIsLonger() {
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(attempt(port, "127.0.0.2", "kestra", "x").status, 401);
    const Attempt refused = attempt(port, "127.0.0.2", "kestra", "k");
    QCOMPARE(refused.status, 429);
    QCOMPARE(refused.retryAfter, 1);
    // Let in again once the wait is over; a further failure waits twice as long.
    QCOMPARE(
        askUntil(401, 5000, [port] { return attempt(port, "127.0.0.2", "kestra", "x").status; }),
        401);
    const Attempt longer = attempt(port, "127.0.0.2", "kestra", "k");
    QCOMPARE(longer.status, 429);
    QCOMPARE(longer.retryAfter, 2);
    QCOMPARE(
        askUntil(200, 10000, [port] { return attempt(port, "127.0.0.2", "kestra", "k").status; }),
        200);
}

void TestServerFrontDoor::oneMembersReadsLeaveOthersServed() {
    // Two readers: each member may have one query in flight.
    const int port = startServer({"--threads", "2"});
    QVERIFY2(port, qPrintable(server_->errorText()));
    // 300 tasks naming a performer 100 KB long: matching a pattern of 100
    // characters against each takes some tens of milliseconds.
    QVERIFY(server_->execOnDatabaseFile(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<300) "
        "INSERT INTO Task SELECT 'T'||i, 'task', 'Kestra', printf('%.*c', 100000, 'x'), "
        "'2026-11-01 09:00:00', '', '0', '', '', '' FROM n"));

    // Kestra asks six costly queries at once, each its own so none is reused.
    constexpr int kCostly = 6;
    std::vector<Attempt> costly(kCostly);
    std::atomic<int> refused{0}, ended{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kCostly; ++i)
        clients.emplace_back([&, i] {
            costly[i] = attempt(port, "127.0.0.1", "kestra", "k",
                                "Select * From Task Where TaskPerformer like'%" +
                                    std::string(100 + i, 'x') + "y%' and TaskCompleteFlag<>'9'");
            ++(costly[i].status == 503 ? refused : ended);
        });
    // All but one are turned away at once; the one taken holds a reader.
    QDeadlineTimer deadline(20000);
    while (refused + ended < kCostly - 1 && !deadline.hasExpired())
        QTest::qWait(10);
    const int endedBeforeHalvic = ended;
    // Halvic is answered meanwhile, on the reader left free.
    const Attempt halvic = attempt(port, "127.0.0.1", "halvic", "h");
    const int endedAfterHalvic = ended;
    for (auto &client : clients)
        client.join();
    QCOMPARE(refused.load(), kCostly - 1);
    QCOMPARE(halvic.status, 200);
    QCOMPARE(endedBeforeHalvic, 0);
    QVERIFY2(endedAfterHalvic == 0, "halvic waited for kestra's costly query");
    for (const Attempt &answer : costly)
        if (answer.status == 503) {
            QCOMPARE(answer.retryAfter, 1);
            QVERIFY2(errorOf(answer).find("queries of this login") != std::string::npos,
                     answer.body.dump().c_str());
        } else {
            // Stopped at the time limit, or done within it on a fast machine.
            QVERIFY2(answer.status == 400 || answer.status == 200, answer.body.dump().c_str());
        }
}

void TestServerFrontDoor::loggedPathsAreEscaped_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("logged");
    QTest::newRow("a line feed, percent-encoded")
        << QByteArray("/datasnap/a%0Afake 200 line") << "GET /datasnap/a\\x0afake 200 line 404";
    QTest::newRow("an escape, percent-encoded")
        << QByteArray("/datasnap/%1B[2Jred") << "GET /datasnap/\\x1b[2Jred 404";
    QTest::newRow("an escape, as it is")
        << QByteArray("/datasnap/\x1b[2Jraw") << "GET /datasnap/\\x1b[2Jraw 404";
}

void TestServerFrontDoor::loggedPathsAreEscaped() {
    QFETCH(QByteArray, path);
    QFETCH(QString, logged);
    const int port = startServer();
    QVERIFY2(port, qPrintable(server_->errorText()));
    const std::string answer = RawSockets::exchange(
        port, "GET " + path.toStdString() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 5000);
    QCOMPARE(RawSockets::statusOf(answer), 404);
    QTRY_VERIFY2(serverLog(*server_).contains(logged), qPrintable(serverLog(*server_)));
    QVERIFY(!serverLog(*server_).contains('\x1b'));
}

void TestServerFrontDoor::tlsHandshakes_data() {
    QTest::addColumn<QStringList>("clientFlags");
    QTest::addColumn<bool>("agreed");
    // The client's own floor is lowered, so that a refusal is the server's.
    const QString anyCipher = "DEFAULT@SECLEVEL=0";
    QTest::newRow("TLS 1.3") << QStringList{"-tls1_3"} << true;
    QTest::newRow("TLS 1.2, ECDHE and GCM")
        << QStringList{"-tls1_2", "-cipher", "ECDHE-RSA-AES128-GCM-SHA256"} << true;
    QTest::newRow("TLS 1.2, key exchange without forward secrecy")
        << QStringList{"-tls1_2", "-cipher", "AES128-GCM-SHA256:AES256-SHA256"} << false;
    QTest::newRow("TLS 1.2, CBC") << QStringList{"-tls1_2", "-cipher", "ECDHE-RSA-AES128-SHA"}
                                  << false;
    QTest::newRow("TLS 1.1") << QStringList{"-tls1_1", "-cipher", anyCipher} << false;
    QTest::newRow("TLS 1.0") << QStringList{"-tls1", "-cipher", anyCipher} << false;
}

void TestServerFrontDoor::tlsHandshakes() {
    QFETCH(QStringList, clientFlags);
    QFETCH(bool, agreed);
    if (QStandardPaths::findExecutable("openssl").isEmpty())
        QSKIP("no openssl here to make a certificate and shake hands with");
    const QString cert = tlsFiles_.filePath("server.pem"), key = tlsFiles_.filePath("server.key");
    if (!QFile::exists(key)) {
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                  "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert});
        QVERIFY(openssl.waitForFinished(60000));
        QCOMPARE(openssl.exitCode(), 0);
    }
    const int port = startServer({"--tls-cert", cert, "--tls-key", key});
    QVERIFY2(port, qPrintable(server_->errorText()));

    QProcess client;
    client.start("openssl",
                 QStringList{"s_client", "-connect", "127.0.0.1:" + QString::number(port)} +
                     clientFlags);
    client.closeWriteChannel(); // ends the session once the handshake is done
    QVERIFY(client.waitForFinished(20000));
    const QString said = QString::fromUtf8(client.readAllStandardOutput());
    const bool handshook =
        client.exitCode() == 0 && said.contains("Cipher is ") && !said.contains("Cipher is (NONE)");
    QVERIFY2(handshook == agreed,
             qPrintable(said + QString::fromUtf8(client.readAllStandardError())));
}

QTEST_GUILESS_MAIN(TestServerFrontDoor)
#include "TestServerFrontDoor.moc"
