// Two servers on one database behind nginx, configured as the project ships
// it: members log in, query and change through the proxy's HTTPS address; a
// wait for changes held through it sees a change made on either server;
// large answers come compressed and whole, with their tags; and the servers
// count failed logins, waits and connections against each member's own
// address, which only the trusted proxy may tell them. A member whose server
// stops goes on with the other.

#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "http/ClientAddress.h"
#include "protocol/RowChanges.h"
#include "server/NginxProxy.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <future>

using appserver::ClientAddress;
using appserver::TrustedProxies;
using nlohmann::json;

namespace {

const std::string kMethods = "/datasnap/rest/TZelServerDataBase/";
const std::string kPanel =
    "Select * From Notice Where CreateTime>='2026-11-25'Order by CreateTime desc";

struct Answer {
    int status = 0; // 0: no answer
    std::string body;
    httplib::Headers headers;
    qint64 millis = 0;
    std::string header(const char *name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
    std::string token() const {
        const json answer = json::parse(body, nullptr, false);
        return answer.is_object() ? answer.value("token", "") : "";
    }
};

// Requests as a member at address sends them: through the proxy over HTTPS,
// or, with https off, straight to the server at port.
struct Member {
    std::string address;
    std::string user = ServerProcess::kTestUser;
    std::string password = ServerProcess::kTestPassword;
    std::string caFile;
    int port = 0;
    bool https = true;
    bool decompress = true;
    int waitMs = 10000;

    Answer send(const std::string &method, const std::string &path, const std::string &body = {},
                httplib::Headers headers = {}) const {
        QElapsedTimer timer;
        timer.start();
        httplib::Client client((https ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                               std::to_string(port));
        if (https)
            client.set_ca_cert_path(caFile);
        client.set_basic_auth(user, password);
        client.set_read_timeout(std::chrono::milliseconds(waitMs));
        client.set_decompress(decompress);
        if (!address.empty())
            headers.emplace("X-Test-Client", address);
        auto result = method == "GET" ? client.Get(path, headers)
                                      : client.Post(path, headers, body, "text/plain");
        if (!result)
            return {0, {}, {}, timer.elapsed()};
        return {result->status, result->body, result->headers, timer.elapsed()};
    }
    Answer query(const std::string &sql, httplib::Headers headers = {}) const {
        headers.emplace("Accept-Encoding", "gzip");
        return send("POST", kMethods + "OpenSQL", sql, std::move(headers));
    }
    Answer change(const std::string &sql) const { return send("POST", kMethods + "ExecSQL", sql); }
    Answer waitForChanges(const std::string &since) const {
        return send("GET", "/datasnap/changes" + (since.empty() ? "" : "?since=" + since));
    }
};

// Each at a time of its own, so that the panel's order is one on every server.
std::string notice(const std::string &content) {
    static int made = 0;
    ++made;
    return "Insert into Notice values('" + content + "','Mareth','Mareth','2026-11-26 " +
           QString("%1:%2:00").arg(made / 60 + 10).arg(made % 60, 2, 10, QChar('0')).toStdString() +
           "')";
}

} // namespace

class TestServerBehindProxy : public QObject {
    Q_OBJECT
private slots:
    void forwardedForNamesTheClient_data();
    void forwardedForNamesTheClient();
    void trustedProxiesAreNumericAddresses();

    void initTestCase();
    void cleanupTestCase();
    void memberWorksThroughTheProxy();
    void waitThroughTheProxySeesEveryServersChanges_data();
    void waitThroughTheProxySeesEveryServersChanges();
    void largeAnswersArriveCompressedAndWhole();
    void failedLoginsCountAgainstTheMembersAddress();
    void membersBehindTheProxyAreNotBoundedAsOneAddress();
    void membersOfAStoppedServerGoToTheOther();

private:
    Member member(const std::string &address) const {
        Member m;
        m.address = address;
        m.caFile = proxy_->caFile().toStdString();
        m.port = proxy_->port();
        return m;
    }
    // Straight to a server, past the proxy.
    static Member direct(const ServerProcess &server) {
        Member m;
        m.port = server.port();
        m.https = false;
        return m;
    }
    // The token once every server has seen every change so far: the first
    // one that a wait of 300 ms through the proxy no longer moves on.
    std::string settledToken(const Member &waiter) const;

    QString unavailable_; // why the servers and the proxy cannot run here
    std::unique_ptr<ServerProcess> first_, second_;
    std::unique_ptr<NginxProxy> proxy_;
};

void TestServerBehindProxy::forwardedForNamesTheClient_data() {
    QTest::addColumn<QString>("trusted");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("forwardedFor");
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("throttleKey");
    QTest::newRow("a peer that is no proxy") << "127.0.0.1"
                                             << "10.0.0.9"
                                             << "10.0.0.7"
                                             << "10.0.0.9"
                                             << "10.0.0.9";
    QTest::newRow("the proxy names the member") << "127.0.0.1"
                                                << "127.0.0.1"
                                                << "10.0.0.7"
                                                << "10.0.0.7"
                                                << "10.0.0.7";
    QTest::newRow("what the member wrote itself is not believed") << "127.0.0.1"
                                                                  << "127.0.0.1"
                                                                  << "192.0.2.1, 10.0.0.7"
                                                                  << "10.0.0.7"
                                                                  << "10.0.0.7";
    QTest::newRow("a line of its own per proxy") << "127.0.0.1"
                                                 << "127.0.0.1"
                                                 << "192.0.2.1,10.0.0.7"
                                                 << "10.0.0.7"
                                                 << "10.0.0.7";
    QTest::newRow("two trusted proxies in a row") << "127.0.0.1,10.0.0.2"
                                                  << "127.0.0.1"
                                                  << "192.0.2.1, 10.0.0.7, 10.0.0.2"
                                                  << "10.0.0.7"
                                                  << "10.0.0.7";
    QTest::newRow("no header") << "127.0.0.1"
                               << "127.0.0.1"
                               << ""
                               << "127.0.0.1"
                               << "127.0.0.1";
    QTest::newRow("not an address") << "127.0.0.1"
                                    << "127.0.0.1"
                                    << "unknown"
                                    << "127.0.0.1"
                                    << "127.0.0.1";
    QTest::newRow("an address with a port") << "127.0.0.1"
                                            << "127.0.0.1"
                                            << "10.0.0.7:5000"
                                            << "127.0.0.1"
                                            << "127.0.0.1";
    QTest::newRow("only trusted proxies named") << "127.0.0.1,10.0.0.2"
                                                << "127.0.0.1"
                                                << "10.0.0.2"
                                                << "10.0.0.2"
                                                << "10.0.0.2";
    QTest::newRow("an IPv6 member, counted by its /64") << "::1"
                                                        << "::1"
                                                        << "2001:db8:1:2:3:4:5:6"
                                                        << "2001:db8:1:2:3:4:5:6"
                                                        << "2001:db8:1:2::/64";
    QTest::newRow("an IPv4 proxy seen on an IPv6 socket") << "127.0.0.1"
                                                          << "::ffff:127.0.0.1"
                                                          << "10.0.0.7"
                                                          << "10.0.0.7"
                                                          << "10.0.0.7";
}

void TestServerBehindProxy::forwardedForNamesTheClient() {
    QFETCH(QString, trusted);
    QFETCH(QString, peer);
    QFETCH(QString, forwardedFor);
    QFETCH(QString, client);
    QFETCH(QString, throttleKey);
    const auto proxies = TrustedProxies::parse(trusted.toStdString());
    QVERIFY(proxies);
    const auto peerAddress = ClientAddress::parse(peer.toStdString());
    QVERIFY(peerAddress);
    const ClientAddress named = proxies->client(*peerAddress, forwardedFor.toStdString());
    QCOMPARE(QString::fromStdString(named.text()), client);
    QCOMPARE(QString::fromStdString(named.throttleKey()), throttleKey);
    QVERIFY(!TrustedProxies().trusts(*peerAddress));
}

void TestServerBehindProxy::trustedProxiesAreNumericAddresses() {
    QVERIFY(!TrustedProxies::parse("proxy.example"));
    QVERIFY(!TrustedProxies::parse("10.0.0.0/8"));
    QVERIFY(TrustedProxies::parse(" 10.0.0.2 , ::1"));
    QProcess server;
    server.start(ServerProcess::binary(), {"--trusted-proxy", "proxy.example", "--port", "0"});
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitCode(), 2);
    QVERIFY(server.readAllStandardError().contains("--trusted-proxy"));
}

// The cases that need the servers and the proxy skip, saying why, where
// they cannot run; those of the address alone run everywhere.
#define NEEDS_PROXY()                                                                              \
    if (!unavailable_.isEmpty())                                                                   \
        QSKIP(qPrintable(unavailable_));

void TestServerBehindProxy::initTestCase() {
    unavailable_ = ServerProcess::storageUnavailableReason();
    if (unavailable_.isEmpty())
        unavailable_ = NginxProxy::unavailableReason();
    if (!unavailable_.isEmpty())
        return;
    // Low limits, so that one member reaches them in a few requests.
    const QStringList flags{"--trusted-proxy",    "127.0.0.1", "--changes-quiet-s", "2",
                            "--changes-probe-ms", "100",       "--login-tries",     "3",
                            "--address-tries",    "5",         "--per-address",     "4"};
    const auto storage = ServerProcess::storageUnderTest();
    first_ = std::make_unique<ServerProcess>(flags, storage);
    QVERIFY2(first_->start(), qPrintable(first_->errorText()));
    QVERIFY(first_->addTestMember());
    second_ = std::make_unique<ServerProcess>(flags, storage);
    second_->setDatabase(first_->dbArgument());
    QVERIFY2(second_->start(), qPrintable(second_->errorText()));
    proxy_ = std::make_unique<NginxProxy>();
    QVERIFY2(proxy_->start({first_->port(), second_->port()}), qPrintable(proxy_->errorText()));
}

void TestServerBehindProxy::cleanupTestCase() {
    if (proxy_)
        proxy_->stop();
    if (second_)
        QVERIFY(second_->stop());
    if (first_)
        QVERIFY(first_->stop());
}

std::string TestServerBehindProxy::settledToken(const Member &waiter) const {
    std::string token = waiter.waitForChanges("").token();
    Member brief = waiter;
    brief.waitMs = 300;
    for (int tries = 0; tries < 20; ++tries) {
        const Answer next = brief.waitForChanges(token);
        if (next.status == 0)
            return token;
        token = next.token();
    }
    return {};
}

void TestServerBehindProxy::memberWorksThroughTheProxy() {
    NEEDS_PROXY();
    ServerConnection connection;
    connection.setHostName(QStringLiteral("127.0.0.1"));
    connection.setPort(proxy_->port());
    connection.setTls(true, proxy_->caFile());
    connection.setCredentials(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    connection.open(); // the handshake, over HTTPS with the certificate checked
    AppServerGateway gateway(&connection);
    const auto login =
        gateway.openSql("Select * From Login where UseName='tb58' and PassWord='pw'");
    QCOMPARE(login->rowCount(), 1);
    const ChangeResult made = gateway.execSql(QString::fromStdString(notice("through the proxy")));
    QVERIFY(made.succeeded);
    QCOMPARE(made.changes, 1);
    const auto panel = gateway.openSql(QString::fromStdString(kPanel));
    QVERIFY(panel->rowCount() >= 1);
    QCOMPARE(panel->cell(0, 0), QStringLiteral("through the proxy"));
    // Both servers hold it: they serve one database.
    for (const ServerProcess *server : {first_.get(), second_.get()})
        QVERIFY(direct(*server).query(kPanel).body.find("through the proxy") != std::string::npos);
}

void TestServerBehindProxy::waitThroughTheProxySeesEveryServersChanges_data() {
    QTest::addColumn<int>("madeOn"); // 0: through the proxy, 1 or 2: straight on that server
    QTest::newRow("made through the proxy") << 0;
    QTest::newRow("made on the first server") << 1;
    QTest::newRow("made on the second server") << 2;
}

void TestServerBehindProxy::waitThroughTheProxySeesEveryServersChanges() {
    NEEDS_PROXY();
    QFETCH(int, madeOn);
    const Member waiter = member("10.0.2.1");
    const std::string before = settledToken(waiter);
    QVERIFY(!before.empty());
    auto waiting = std::async(std::launch::async, [&] { return waiter.waitForChanges(before); });
    const Member maker = madeOn == 0   ? member("10.0.2.2")
                         : madeOn == 1 ? direct(*first_)
                                       : direct(*second_);
    const std::string made = QTest::currentDataTag();
    const Answer change = maker.change(notice(made));
    QCOMPARE(change.status, 200);
    QVERIFY2(json::parse(change.body).value("changes", 0) == 1, change.body.c_str());
    const Answer after = waiting.get();
    QCOMPARE(after.status, 200);
    QVERIFY2(after.token() != before, after.body.c_str());
    QVERIFY2(after.millis < 1500, qPrintable(QString::number(after.millis)));
    // The panel read through the proxy right after shows it.
    QVERIFY(waiter.query(kPanel).body.find(made) != std::string::npos);
}

void TestServerBehindProxy::largeAnswersArriveCompressedAndWhole() {
    NEEDS_PROXY();
    // Some 150 KiB of notices, well past the size the servers compress from.
    QStringList rows;
    for (int i = 0; i < 300; ++i)
        rows << QString("('%1 %2','Mareth','Halvic','2026-11-27 %3:%4:00')")
                    .arg(i)
                    .arg(QString(160, QChar(u'项')))
                    .arg(i / 60 + 10)
                    .arg(i % 60, 2, 10, QChar('0'));
    QVERIFY(first_->execOnDatabaseFile("INSERT INTO Notice VALUES" + rows.join(',')));
    const std::string whole = direct(*first_).query(kPanel).body; // on loopback: plain
    QVERIFY(json::parse(whole)["rows"].size() > 300);

    Member distant = member("10.0.3.1"); // a member beyond the proxy's machine
    distant.decompress = false;
    const Answer compressed = distant.query(kPanel);
    QCOMPARE(compressed.status, 200);
    QCOMPARE(compressed.header("Content-Encoding"), std::string("gzip"));
    QVERIFY(compressed.body.size() < whole.size() / 4);
    QVERIFY(compressed.body.rfind("\x1f\x8b", 0) == 0);
    const std::string tag = compressed.header("ETag");
    QVERIFY(!tag.empty());

    distant.decompress = true;
    const Answer read = distant.query(kPanel);
    QCOMPARE(read.header("Content-Encoding"), std::string("gzip"));
    QCOMPARE(read.body, whole);
    // Tags and row changes pass the proxy: unchanged, 304; one notice more,
    // only that row.
    QCOMPARE(distant.query(kPanel, {{"If-None-Match", tag}}).status, 304);
    QCOMPARE(distant
                 .change("Insert into Notice values('one more','Mareth','Mareth',"
                         "'2026-11-28 10:00:00')")
                 .status,
             200);
    const Answer changed = distant.query(
        kPanel, {{"If-None-Match", tag}, {"A-IM", std::string(RowChanges::kManipulation)}});
    QCOMPARE(changed.status, 226);
    QCOMPARE(changed.header(RowChanges::kDeltaBaseHeader), tag);
    QCOMPARE(json::parse(changed.body)["rows"].size(), size_t(1));
}

void TestServerBehindProxy::failedLoginsCountAgainstTheMembersAddress() {
    NEEDS_PROXY();
    // A guesser, and a member whom the proxy sends to the same server.
    Member guesser = member("10.0.4.1");
    const std::string server = guesser.send("GET", "/datasnap/").header("X-Test-Server");
    QVERIFY(!server.empty());
    Member neighbour;
    for (int host = 2; host < 60 && neighbour.address.empty(); ++host) {
        const Member candidate = member("10.0.4." + std::to_string(host));
        if (candidate.send("GET", "/datasnap/").header("X-Test-Server") == server)
            neighbour = candidate;
    }
    QVERIFY2(!neighbour.address.empty(), "no other address reaches the guesser's server");

    // Each guess claims another address of its own; the proxy says which it is.
    guesser.password = "wrong";
    int status = 0;
    for (int guess = 0; guess < 10 && status != 429; ++guess)
        status = guesser
                     .send("POST", kMethods + "OpenSQL", "select 1",
                           {{"X-Forwarded-For", "192.0.2." + std::to_string(guess)}})
                     .status;
    QCOMPARE(status, 429);
    guesser.password = ServerProcess::kTestPassword;
    QCOMPARE(guesser.query(kPanel).status, 429); // the right password waits there too
    QCOMPARE(neighbour.query(kPanel).status, 200);
    // The server logged the guesser's own address.
    const QByteArray logs = first_->log() + second_->log();
    QVERIFY(logs.contains("peer=10.0.4.1 "));
    QVERIFY(!logs.contains("peer=192.0.2."));
}

void TestServerBehindProxy::membersBehindTheProxyAreNotBoundedAsOneAddress() {
    NEEDS_PROXY();
    // Ten members waiting, each at an address of its own: at least five of
    // them on one server, which takes only four connections per address.
    for (int i = 0; i < 10; ++i)
        QVERIFY(first_->execOnDatabaseFile(
            QString("INSERT INTO Login VALUES('waiter%1','pw','Waiter %1')").arg(i)));
    // Each asks with the versions of the server it reaches (on SQLite, each
    // server numbers them its own way).
    std::vector<std::future<std::pair<std::string, Answer>>> waiting;
    for (int i = 0; i < 10; ++i)
        waiting.push_back(std::async(std::launch::async, [this, i] {
            Member waiter = member("10.0.5." + std::to_string(i + 1));
            waiter.user = "waiter" + std::to_string(i);
            const std::string since = settledToken(waiter);
            return std::make_pair(since, waiter.waitForChanges(since));
        }));
    // Nothing changes: each is held for the quiet period, all at once.
    for (auto &wait : waiting) {
        const auto [since, answer] = wait.get();
        QVERIFY(!since.empty());
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.token(), since);
    }
}

void TestServerBehindProxy::membersOfAStoppedServerGoToTheOther() {
    NEEDS_PROXY();
    const Member leaving = member("10.0.6.1");
    const std::string reached = leaving.send("GET", "/datasnap/").header("X-Test-Server");
    const bool onFirst = reached == "127.0.0.1:" + std::to_string(first_->port());
    ServerProcess &stopped = onFirst ? *first_ : *second_;
    const ServerProcess &other = onFirst ? *second_ : *first_;
    QVERIFY(stopped.stop());
    // The change finds its server gone before anything is sent: the other
    // one makes it, once.
    const Answer change = leaving.change(notice("after a server stopped"));
    QCOMPARE(change.status, 200);
    QCOMPARE(json::parse(change.body).value("changes", 0), 1);
    // nginx names every server it tried, the one that answered last.
    const QString answeredBy = QString::fromStdString(change.header("X-Test-Server"));
    QVERIFY2(answeredBy.endsWith(QStringLiteral(":%1").arg(other.port())), qPrintable(answeredBy));
    QCOMPARE(first_->queryDatabaseFile(
                 "select count(*) from Notice where Content='after a server stopped'"),
             QStringList{"1"});
}

QTEST_GUILESS_MAIN(TestServerBehindProxy)
#include "TestServerBehindProxy.moc"
