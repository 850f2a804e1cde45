// The wait for changes: a client holding GET changes is answered as soon as
// one of the four tables changes, through this server or another one on the
// same database, and after the quiet period when nothing does.

#include "support/ServerProcess.h"

#include <QtTest>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <future>

using nlohmann::json;

namespace {

const std::string kMethods = "/datasnap/rest/TZelServerDataBase/";

struct Waited {
    int status = 0; // 0: no answer
    json body;
    qint64 millis = 0;
};

Waited waitForChanges(int port, const std::string &since, const char *password = "pw",
                      int waitMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    httplib::Client client("127.0.0.1", port);
    if (password)
        client.set_basic_auth(ServerProcess::kTestUser, password);
    client.set_read_timeout(std::chrono::milliseconds(waitMs));
    auto result = client.Get("/datasnap/changes" + (since.empty() ? "" : "?since=" + since));
    if (!result)
        return {0, json(), timer.elapsed()};
    return {result->status, json::parse(result->body, nullptr, false), timer.elapsed()};
}

bool change(int port, const std::string &sql) {
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    auto result = client.Post(kMethods + "ExecSQL", sql, "text/plain");
    return result && result->status == 200 &&
           json::parse(result->body, nullptr, false).value("result", false);
}

std::string tokenOf(const Waited &waited) {
    return waited.body.is_object() ? waited.body.value("token", "") : "";
}

std::string versionOf(const Waited &waited, const char *table) {
    return waited.body.is_object() ? waited.body["tables"].value(table, "") : "";
}

// The versions once the server has seen every change made so far (the test
// member was stored past it): the first answer no wait of 300 ms moves on.
Waited settled(int port) {
    Waited now = waitForChanges(port, "");
    for (int tries = 0; tries < 20; ++tries) {
        const Waited next = waitForChanges(port, now.body.value("token", ""), "pw", 300);
        if (next.status == 0)
            return now;
        now = next;
    }
    return {};
}

const char *const kNotice = "Insert into Notice values('n','Mareth','p','2026-12-11')";

} // namespace

class TestServerChanges : public QObject {
    Q_OBJECT
private slots:
    void init();
    void answeredAtOnceWithoutToken();
    void answeredWhenATableChanges();
    void answeredAfterQuietPeriod();
    void refusedWithoutCredentials_data();
    void refusedWithoutCredentials();
    void changeThroughAnotherServerIsSeen();
    void waitersAreAnsweredWhenTheServerStops();

private:
    std::unique_ptr<ServerProcess> server_;
};

void TestServerChanges::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    server_ = std::make_unique<ServerProcess>(
        QStringList{"--changes-quiet-s", "2", "--changes-probe-ms", "100"},
        ServerProcess::storageUnderTest());
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    QVERIFY(server_->addTestMember());
}

void TestServerChanges::answeredAtOnceWithoutToken() {
    const Waited first = waitForChanges(server_->port(), "");
    QCOMPARE(first.status, 200);
    QVERIFY2(first.millis < 1000, first.body.dump().c_str());
    for (const char *table : {"Login", "Programe", "Task", "Notice"})
        QVERIFY2(!versionOf(first, table).empty(), table);
    // An outdated token is answered at once too.
    QCOMPARE(waitForChanges(server_->port(), "0000").status, 200);
}

void TestServerChanges::answeredWhenATableChanges() {
    const int port = server_->port();
    const Waited before = settled(port);
    auto waiting =
        std::async(std::launch::async, [&] { return waitForChanges(port, tokenOf(before)); });
    // The change comes while the wait is held (or before it is: answered at once either way).
    QVERIFY(change(port, kNotice));
    const Waited after = waiting.get();
    QCOMPARE(after.status, 200);
    QVERIFY2(after.millis < 1500, qPrintable(QString::number(after.millis)));
    QVERIFY(tokenOf(after) != tokenOf(before));
    QVERIFY(versionOf(after, "Notice") != versionOf(before, "Notice"));
    for (const char *table : {"Login", "Programe", "Task"})
        QCOMPARE(versionOf(after, table), versionOf(before, table));
}

void TestServerChanges::answeredAfterQuietPeriod() {
    const Waited before = settled(server_->port());
    const Waited quiet = waitForChanges(server_->port(), tokenOf(before));
    QCOMPARE(quiet.status, 200);
    QCOMPARE(tokenOf(quiet), tokenOf(before));
    QVERIFY2(quiet.millis >= 1900 && quiet.millis < 5000,
             qPrintable(QString::number(quiet.millis)));
}

void TestServerChanges::refusedWithoutCredentials_data() {
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("none") << QByteArray();
    QTest::newRow("wrong") << QByteArray("wrong");
}

void TestServerChanges::refusedWithoutCredentials() {
    QFETCH(QByteArray, password);
    const Waited refused =
        waitForChanges(server_->port(), "", password.isNull() ? nullptr : password.constData());
    QCOMPARE(refused.status, 401);
}

void TestServerChanges::changeThroughAnotherServerIsSeen() {
    ServerProcess other({}, server_->isPostgres() ? ServerProcess::Storage::Postgres
                                                  : ServerProcess::Storage::Sqlite);
    other.setDatabase(server_->dbArgument());
    QVERIFY2(other.start(), qPrintable(other.errorText()));
    const int port = server_->port();
    const Waited before = settled(port);
    auto waiting =
        std::async(std::launch::async, [&] { return waitForChanges(port, tokenOf(before)); });
    QVERIFY(change(other.port(), kNotice));
    const Waited after = waiting.get();
    QCOMPARE(after.status, 200);
    QVERIFY2(tokenOf(after) != tokenOf(before), after.body.dump().c_str());
    QVERIFY2(after.millis < 1500, qPrintable(QString::number(after.millis)));
    QVERIFY(other.stop());
}

void TestServerChanges::waitersAreAnsweredWhenTheServerStops() {
    const int port = server_->port();
    const Waited before = settled(port);
    std::vector<std::future<Waited>> waiting;
    for (int i = 0; i < 4; ++i)
        waiting.push_back(
            std::async(std::launch::async, [&] { return waitForChanges(port, tokenOf(before)); }));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(server_->stop()); // a clean exit, each wait answered or its connection closed
    QVERIFY2(timer.elapsed() < 1900, qPrintable(QString::number(timer.elapsed())));
    for (auto &wait : waiting)
        wait.get();
}

QTEST_GUILESS_MAIN(TestServerChanges)
#include "TestServerChanges.moc"
