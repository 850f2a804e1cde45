// The client's watcher of changes against a real server: what another
// member changes is told within a moment, table by table, and a server that
// restarts is waited for and then told as a change of everything.

#include "data/connection/ChangeWatcher.h"
#include "support/ServerProcess.h"

#include <QSignalSpy>
#include <QtTest>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool change(int port, const std::string &sql, bool tls = false) {
    httplib::Client client((tls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                           std::to_string(port));
    client.enable_server_certificate_verification(false); // the watcher checks it
    client.set_basic_auth(ServerProcess::kTestUser, ServerProcess::kTestPassword);
    auto result = client.Post("/datasnap/rest/TZelServerDataBase/ExecSQL", sql, "text/plain");
    return result && result->status == 200 && result->body.find("true") != std::string::npos;
}

ChangeWatcher::Server at(int port, const QString &caFile = {}) {
    ChangeWatcher::Server server;
    server.tls = !caFile.isEmpty();
    server.caFile = caFile;
    server.host = QStringLiteral("127.0.0.1");
    server.port = port;
    server.context = QStringLiteral("datasnap/");
    server.userName = QString::fromLatin1(ServerProcess::kTestUser);
    server.password = QString::fromLatin1(ServerProcess::kTestPassword);
    return server;
}

// A port nobody listens on now, for a server to come back on.
int freePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

// Every table the spy was told, in any of its signals.
QSet<QString> toldTables(const QSignalSpy &spy) {
    QSet<QString> tables;
    for (const QList<QVariant> &signal : spy)
        for (const QString &table : signal.at(0).toStringList())
            tables.insert(table);
    return tables;
}

} // namespace

class TestChangeWatcher : public QObject {
    Q_OBJECT
private slots:
    void changesAreToldByTable_data();
    void changesAreToldByTable();
    void restartedServerIsWaitedFor();
    void refusedWaitsBackOff_data();
    void refusedWaitsBackOff();
};

void TestChangeWatcher::refusedWaitsBackOff_data() {
    QTest::addColumn<int>("backOffMs");
    QTest::addColumn<QString>("retryAfter");
    QTest::addColumn<int>("pauseMs");
    QTest::newRow("no Retry-After") << 1000 << "" << 1000;
    QTest::newRow("too many waits: 10 s") << 1000 << "10" << 10000;
    QTest::newRow("the back-off is longer") << 30000 << "10" << 30000;
    QTest::newRow("absurdly long") << 1000 << "86400" << ChangeWatcher::kLongestRetryAfterMs;
    QTest::newRow("not a number") << 2000 << "soon" << 2000;
    QTest::newRow("a date") << 2000 << "Wed, 21 Oct 2026 07:28:00 GMT" << 2000;
    QTest::newRow("negative") << 4000 << "-5" << 4000;
}

void TestChangeWatcher::refusedWaitsBackOff() {
    QFETCH(int, backOffMs);
    QFETCH(QString, retryAfter);
    QFETCH(int, pauseMs);
    QCOMPARE(ChangeWatcher::pauseBeforeRetryMs(backOffMs, retryAfter.toStdString()), pauseMs);
}

void TestChangeWatcher::changesAreToldByTable_data() {
    QTest::addColumn<bool>("tls");
    QTest::newRow("http") << false;
    QTest::newRow("https") << true;
}

void TestChangeWatcher::changesAreToldByTable() {
    QFETCH(bool, tls);
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    const QString cert = dir.filePath("server.pem"), key = dir.filePath("server.key");
    QStringList options{"--changes-probe-ms", "100"};
    if (tls) {
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                  "-subj", "/CN=127.0.0.1", "-addext",
                                  "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
        QVERIFY(openssl.waitForFinished(60000));
        QCOMPARE(openssl.exitCode(), 0);
        options << "--tls-cert" << cert << "--tls-key" << key;
    }
    ServerProcess server(options, ServerProcess::storageUnderTest());
    QVERIFY2(server.start(tls), qPrintable(server.errorText()));
    QVERIFY(server.addTestMember());
    ChangeWatcher watcher;
    QSignalSpy told(&watcher, &ChangeWatcher::tablesChanged);
    watcher.start(at(server.port(), tls ? cert : QString()));
    // Settled: the test member, stored past the server, may be told first.
    while (told.wait(500))
        told.clear();
    QVERIFY(change(server.port(), "Insert into Notice values('n','Mareth','p','2026-12-11')", tls));
    QVERIFY(told.wait(3000));
    QCOMPARE(toldTables(told), QSet<QString>{QStringLiteral("Notice")});
    watcher.stop();
    QVERIFY(server.stop());
}

void TestChangeWatcher::restartedServerIsWaitedFor() {
    if (ServerProcess::storageUnderTest() != ServerProcess::Storage::Sqlite)
        QSKIP("the same on both storages: run as test_change_watcher");
    const QString port = QString::number(freePort());
    const QStringList options{"--port", port, "--changes-probe-ms", "100"};
    ServerProcess first(options);
    QVERIFY2(first.start(), qPrintable(first.errorText()));
    QVERIFY(first.addTestMember());
    ChangeWatcher watcher;
    QSignalSpy told(&watcher, &ChangeWatcher::tablesChanged);
    watcher.start(at(port.toInt()));
    while (told.wait(500))
        told.clear();

    QVERIFY(first.stop());
    ServerProcess again(options);
    again.setDatabase(first.dbPath());
    QVERIFY2(again.start(), qPrintable(again.errorText()));
    // Within the first retries; a new server's versions are all new.
    QTRY_VERIFY2_WITH_TIMEOUT(toldTables(told).size() == 4,
                              qPrintable(QStringList(toldTables(told).values()).join(' ')), 10000);
    watcher.stop();
    QVERIFY(again.stop());
}

QTEST_GUILESS_MAIN(TestChangeWatcher)
#include "TestChangeWatcher.moc"
