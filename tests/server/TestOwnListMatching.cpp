// A member's lists are matched in memory as the database's LIKE matches, and
// the kept rows' cells are read back from their JSON as they were stored.

#include "answers/JsonText.h"
#include "lists/JsonCells.h"
#include "lists/TextMatch.h"

#include <QtTest>

using appserver::JsonCell;
using appserver::TextRules;

class TestOwnListMatching : public QObject {
    Q_OBJECT

private slots:
    void likeMatchesAsTheDatabase_data();
    void likeMatchesAsTheDatabase();
    void cellsReadBackAsStored();
    void columnsReadFromTheHead();
};

void TestOwnListMatching::likeMatchesAsTheDatabase_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<bool>("foldsAscii");
    QTest::addColumn<int>("expected"); // 1 matches, 0 does not, -1 cannot be told

    QTest::newRow("name within a list") << QByteArray("ana|李四") << QByteArray("%李四%") << true << 1;
    QTest::newRow("ASCII case folded") << QByteArray("ANA") << QByteArray("%ana%") << true << 1;
    QTest::newRow("ASCII case kept") << QByteArray("ANA") << QByteArray("%ana%") << false << 0;
    QTest::newRow("other letters' case never folded")
        << QByteArray("ÄNA") << QByteArray("%äna%") << true << 0;
    QTest::newRow("a name holding the member's") << QByteArray("李四五") << QByteArray("%李四%") << true << 1;
    QTest::newRow("underscore is one character") << QByteArray("李x四") << QByteArray("%李_四%") << true << 1;
    QTest::newRow("underscore is one multi-byte character")
        << QByteArray("李五四") << QByteArray("%李_四%") << true << 1;
    QTest::newRow("underscore is not two") << QByteArray("李xx四") << QByteArray("%李_四%") << true << 0;
    QTest::newRow("a name with an underscore matches others")
        << QByteArray("bxo") << QByteArray("%b_o%") << true << 1;
    QTest::newRow("empty value, empty name") << QByteArray("") << QByteArray("%%") << true << 1;
    QTest::newRow("empty value") << QByteArray("") << QByteArray("%a%") << true << 0;
    QTest::newRow("a percent sign gives back what it took") << QByteArray("aXbXc") << QByteArray("%b%c") << true << 1;
    QTest::newRow("anchored end") << QByteArray("abcd") << QByteArray("a%c") << true << 0;
    QTest::newRow("anchored start") << QByteArray("xabc") << QByteArray("a%c") << true << 0;
    QTest::newRow("not UTF-8") << QByteArray("a\xff") << QByteArray("%a%") << true << -1;
}

void TestOwnListMatching::likeMatchesAsTheDatabase() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, pattern);
    QFETCH(bool, foldsAscii);
    QFETCH(int, expected);
    TextRules rules;
    rules.likeIgnoresAsciiCase = foldsAscii;
    const auto matched = appserver::textLike(value.toStdString(), pattern.toStdString(), rules);
    QCOMPARE(matched ? int(*matched) : -1, expected);
}

void TestOwnListMatching::cellsReadBackAsStored() {
    const std::vector<JsonCell> stored = {
        std::string("plain"), std::nullopt,
        std::string("say \"hi\" \\ back\\slash\n\t\r\x01\x1f"), std::string("项目编号 é 😀"),
        std::string()};
    std::vector<appserver::CellView> views;
    for (const auto &cell : stored)
        views.push_back(cell ? appserver::CellView(*cell) : appserver::CellView());
    std::string row;
    appserver::appendJsonRow(row, views);
    const auto read = appserver::jsonCells(row, stored.size());
    QVERIFY(read);
    QVERIFY(*read == stored);
    // The first cells alone; more than the row holds is nothing.
    QCOMPARE(appserver::jsonCells(row, 2)->size(), size_t(2));
    QVERIFY(!appserver::jsonCells(row, stored.size() + 1));
    // Escapes another writer might use.
    const auto escaped = appserver::jsonCells(R"(["\u00e9\ud83d\ude00\/"])", 1);
    QVERIFY(escaped);
    QCOMPARE(*(*escaped)[0], std::string("é😀/"));
    QVERIFY(!appserver::jsonCells(R"(["\ud83d"])", 1)); // half a pair
}

void TestOwnListMatching::columnsReadFromTheHead() {
    const auto columns =
        appserver::jsonColumns(R"({"columns":["TaskId","Task\"Content"],"rows":[)");
    QVERIFY(columns);
    QCOMPARE(*columns, (std::vector<std::string>{"TaskId", "Task\"Content"}));
    QVERIFY(!appserver::jsonColumns(R"({"rows":[)"));
}

QTEST_GUILESS_MAIN(TestOwnListMatching)
#include "TestOwnListMatching.moc"
