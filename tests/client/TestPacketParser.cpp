// The client's reading of OpenSQL answers: the fast reader of the server's own
// shape gives exactly what the general JSON reader gives, and whatever is not
// in that shape still reads (or fails) as JSON says.

#include "data/answers/AnswerShapeReader.h"
#include "data/answers/ChangedRows.h"
#include "data/answers/PacketParser.h"
#include "data/answers/ServerError.h"

#include <QtTest>

namespace {

void comparePackets(const DataPacket &a, const DataPacket &b) {
    QCOMPARE(a.columns, b.columns);
    QCOMPARE(a.rowCount(), b.rowCount());
    QCOMPARE(a.cells.size(), b.cells.size());
    for (size_t i = 0; i < a.cells.size(); ++i) {
        QCOMPARE(a.cells[i], b.cells[i]);
        QCOMPARE(a.cells[i].isNull(), b.cells[i].isNull());
    }
}

} // namespace

class TestPacketParser : public QObject {
    Q_OBJECT
private slots:
    void serverShapeReadsAsJson_data();
    void serverShapeReadsAsJson();
    void otherShapesFallBack_data();
    void otherShapesFallBack();
    void rowsWithoutColumns_data();
    void rowsWithoutColumns();
};

void TestPacketParser::serverShapeReadsAsJson_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("plain") << QByteArray(R"({"columns":["A","B"],"rows":[["1",null],["x","y"]]})");
    QTest::newRow("no rows") << QByteArray(R"({"columns":["A"],"rows":[]})");
    QTest::newRow("no columns") << QByteArray(R"({"columns":[],"rows":[]})");
    QTest::newRow("rows without columns") << QByteArray(R"({"columns":[],"rows":[[],[],[]]})");
    QTest::newRow("escapes")
        << QByteArray(R"({"columns":["A"],"rows":[["q\"b\\s\/\b\f\n\r\t end"]]})");
    QTest::newRow("unicode escapes")
        << QByteArray(R"({"columns":["A"],"rows":[["\u0001\u00e9\u4e2d\ud83d\ude00"]]})");
    QTest::newRow("chinese text")
        << QByteArray(R"({"columns":["内容"],"rows":[["项目编号:GD2026 已成功完成！"]]})");
}

void TestPacketParser::serverShapeReadsAsJson() {
    QFETCH(QByteArray, answer);
    DataPacket fast;
    QVERIFY(readServerAnswer(answer.toStdString(), fast));
    // A blank after the first brace is no longer the server's shape: the general reader reads it.
    const PDataPacket general = parseDataPacket("{ " + answer.mid(1).toStdString());
    comparePackets(fast, *general);
}

void TestPacketParser::otherShapesFallBack_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("rows");
    QTest::newRow("blanks") << QByteArray(R"({ "columns" : ["A"], "rows" : [ ["1"] ] })") << true
                            << 1;
    QTest::newRow("numbers") << QByteArray(R"({"columns":["A"],"rows":[[1],[2.5]]})") << true << 2;
    QTest::newRow("another key") << QByteArray(R"({"columns":["A"],"rows":[["1"]],"more":1})")
                                 << true << 1;
    QTest::newRow("row too short") << QByteArray(R"({"columns":["A","B"],"rows":[["1"]]})")
                                   << false << 0;
    QTest::newRow("cut off") << QByteArray(R"({"columns":["A"],"rows":[["1")") << false << 0;
    QTest::newRow("bad escape") << QByteArray(R"({"columns":["A"],"rows":[["\x"]]})") << false
                                << 0;
    QTest::newRow("lone surrogate") << QByteArray(R"({"columns":["A"],"rows":[["\udc00"]]})")
                                    << false << 0;
    QTest::newRow("trailing text") << QByteArray(R"({"columns":[],"rows":[]}x)") << false << 0;
}

void TestPacketParser::otherShapesFallBack() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, valid);
    QFETCH(int, rows);
    try {
        const PDataPacket packet = parseDataPacket(answer.toStdString());
        QVERIFY(valid);
        QCOMPARE(packet->rowCount(), rows);
    } catch (const ServerError &) {
        QVERIFY(!valid);
    }
}

// SELECT FROM T answers a row per row of T, each without a cell: they are
// counted, and an answer of changed rows applies to them as to any rows.
void TestPacketParser::rowsWithoutColumns_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("the server's shape") << QByteArray(R"({"columns":[],"rows":[[],[],[]]})");
    QTest::newRow("another shape") << QByteArray(R"({ "columns" : [], "rows" : [ [], [], [] ] })");
}

void TestPacketParser::rowsWithoutColumns() {
    QFETCH(QByteArray, answer);
    const PDataPacket earlier = parseDataPacket(answer.toStdString());
    QCOMPARE(earlier->rowCount(), 3);
    // The first and the last row kept, two changed rows between them.
    const PDataPacket changed = parseDataPacket(R"({"columns":[],"rows":[[],[]]})");
    const PDataPacket now = withChangedRows(earlier, 1, 1, changed);
    QVERIFY(now);
    QCOMPARE(now->rowCount(), 4);
    // Every row kept: the earlier packet as it was.
    const PDataPacket empty = parseDataPacket(R"({"columns":[],"rows":[]})");
    QCOMPARE(withChangedRows(earlier, 2, 1, empty)->rowCount(), 3);
}

QTEST_GUILESS_MAIN(TestPacketParser)
#include "TestPacketParser.moc"
