// Large answers go out gzip-compressed to peers beyond the server's machine,
// and the client reads them as it reads plain ones. The tests' servers listen
// on loopback only, where the server never compresses, so the decision is
// checked on its own and the round trip runs against a stand-in that sends
// the server's compressed form of an answer.

#include "answers/AnswerCompression.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "http/RequestHeaders.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <thread>

using namespace appserver;

namespace {

sockaddr_in ipv4(const char *address) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    inet_pton(AF_INET, address, &peer.sin_addr);
    return peer;
}

sockaddr_in6 ipv6(const char *address) {
    sockaddr_in6 peer{};
    peer.sin6_family = AF_INET6;
    inet_pton(AF_INET6, address, &peer.sin6_addr);
    return peer;
}

template <class Address> bool loopback(const Address &peer) {
    return isLoopback(reinterpret_cast<const sockaddr *>(&peer));
}

// A notice panel of many rows, as the server writes it.
std::string panelAnswer(int rows) {
    nlohmann::json answer = {{"columns", {"Content", "Demander", "Performer", "CreateTime"}},
                             {"rows", nlohmann::json::array()}};
    for (int i = 0; i < rows; ++i)
        answer["rows"].push_back({"项目编号:GD20261127" + std::to_string(i) + " 已成功完成！",
                                  "Mareth", "Halvic", "2026-11-27 10:00:00"});
    return answer.dump();
}

} // namespace

class TestAnswerCompression : public QObject {
    Q_OBJECT
private slots:
    void onlyLargeAnswersToDistantPeersAreCompressed();
    void gzipMustBeAccepted_data();
    void gzipMustBeAccepted();
    void loopbackPeers();
    void clientReadsCompressedAnswers();
};

void TestAnswerCompression::onlyLargeAnswersToDistantPeersAreCompressed() {
    QVERIFY(compressionPays(kCompressFromBytes, true, false));
    QVERIFY(compressionPays(455 << 10, true, false));
    QVERIFY(!compressionPays(kCompressFromBytes - 1, true, false));
    QVERIFY(!compressionPays(455 << 10, true, true));  // on the machine itself
    QVERIFY(!compressionPays(455 << 10, false, false)); // the peer cannot read it
}

void TestAnswerCompression::gzipMustBeAccepted_data() {
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("gzip") << "gzip" << true;
    QTest::newRow("list") << "deflate, gzip, br" << true;
    QTest::newRow("letter case") << "GZip" << true;
    QTest::newRow("weight") << "gzip;q=0.5" << true;
    QTest::newRow("refused") << "gzip;q=0" << false;
    QTest::newRow("refused with decimals") << "br, gzip; q=0.000" << false;
    QTest::newRow("other codings") << "deflate, br" << false;
    QTest::newRow("x-gzip is not gzip") << "x-gzip" << false;
    QTest::newRow("empty") << "" << false;
}

void TestAnswerCompression::gzipMustBeAccepted() {
    QFETCH(QString, header);
    QFETCH(bool, accepted);
    QCOMPARE(acceptsGzip(header.toStdString()), accepted);
}

void TestAnswerCompression::loopbackPeers() {
    QVERIFY(loopback(ipv4("127.0.0.1")));
    QVERIFY(loopback(ipv4("127.1.2.3")));
    QVERIFY(!loopback(ipv4("10.0.0.5")));
    QVERIFY(!loopback(ipv4("203.0.113.7")));
    QVERIFY(loopback(ipv6("::1")));
    QVERIFY(loopback(ipv6("::ffff:127.0.0.1")));
    QVERIFY(!loopback(ipv6("::ffff:10.0.0.5")));
    QVERIFY(!loopback(ipv6("fe80::1")));
    QVERIFY(!isLoopback(nullptr));
}

void TestAnswerCompression::clientReadsCompressedAnswers() {
    const std::string plain = panelAnswer(3000);
    const std::string packed = gzipped(plain);
    QVERIFY(packed.size() * 4 < plain.size());

    httplib::Server standIn;
    std::string acceptEncoding;
    standIn.Get("/datasnap/", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(R"({"server":"TZelServerDataBase"})", "application/json");
    });
    standIn.Post("/datasnap/rest/TZelServerDataBase/OpenSQL",
                 [&](const httplib::Request &request, httplib::Response &response) {
                     acceptEncoding = request.get_header_value("Accept-Encoding");
                     response.set_header("Content-Encoding", "gzip");
                     response.set_header("ETag", "\"1\"");
                     // A type httplib's own server leaves alone: it would compress
                     // JSON a second time for a client that accepts gzip.
                     response.set_content(packed, "application/octet-stream");
                 });
    const int port = standIn.bind_to_any_port("127.0.0.1");
    QVERIFY(port > 0);
    struct Serving { // stopped and joined however the test ends
        httplib::Server &server;
        std::thread thread{[this] { server.listen_after_bind(); }};
        ~Serving() {
            server.stop();
            thread.join();
        }
    } serving{standIn};
    QDeadlineTimer deadline(5000);
    while (!standIn.is_running() && !deadline.hasExpired())
        std::this_thread::yield();

    PDataPacket packet;
    try {
        ServerConnection connection;
        connection.setPort(port);
        connection.open();
        AppServerGateway gateway(&connection);
        packet = gateway.openSql(QStringLiteral("Select * From Notice"));
    } catch (const std::exception &error) {
        QFAIL(error.what());
    }

    QVERIFY(acceptsGzip(acceptEncoding));
    QCOMPARE(packet->rowCount(), 3000);
    QCOMPARE(packet->cell(2999, 0), QStringLiteral("项目编号:GD202611272999 已成功完成！"));
}

QTEST_GUILESS_MAIN(TestAnswerCompression)
#include "TestAnswerCompression.moc"
