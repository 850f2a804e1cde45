// The members' searches, LIKE '%name%', are answered by a plain search; it
// must decide exactly as SQLite's own matcher does, or leave it to it.

#include "like_substring.h"

#include <QtTest>

#include <sqlite3.h>

#include <random>

using appserver::likeAsSubstring;

namespace {

const std::vector<std::string> kPieces = {"a",    "B",   "b",  "z", "Z", "7", "|", " ",
                                          "成员", "107", "号", "é", "É", "😀", "[", "\\"};
const std::vector<std::string> kMalformed = {"\xff", "\xe6\x88", "\xf0\x86\x88\x90", "\xc0\x80",
                                             "\xed\xa0\x80"};

std::vector<std::string> randomPieces(std::mt19937 &random, size_t count) {
    std::vector<std::string> pieces;
    for (size_t i = 0; i < count; ++i)
        pieces.push_back(kPieces[random() % kPieces.size()]);
    return pieces;
}

std::string joined(const std::vector<std::string> &pieces) {
    std::string text;
    for (const std::string &piece : pieces)
        text += piece;
    return text;
}

} // namespace

class TestLikeSubstring : public QObject {
    Q_OBJECT
private slots:
    void decidesAsSqliteDoes();
    void leavesOtherPatternsAndMalformedTextToSqlite_data();
    void leavesOtherPatternsAndMalformedTextToSqlite();
};

void TestLikeSubstring::decidesAsSqliteDoes() {
    std::mt19937 random(3);
    int found = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string needle = joined(randomPieces(random, 1 + random() % 3));
        const std::string pattern = "%" + needle + "%";
        auto pieces = randomPieces(random, random() % 12);
        if (round % 3 == 0) { // plant the name, in capitals now and then
            const QString name = QString::fromStdString(needle);
            pieces.insert(pieces.begin() + long(random() % (pieces.size() + 1)),
                          (round % 2 ? name.toUpper() : name).toStdString());
        }
        const std::string text = joined(pieces);
        const auto decided = likeAsSubstring(pattern, text);
        QVERIFY2(decided.has_value(), (pattern + " on " + text).c_str());
        const bool sqlite = sqlite3_strlike(pattern.c_str(), text.c_str(), 0) == 0;
        QVERIFY2(*decided == sqlite, (pattern + " on " + text).c_str());
        found += sqlite;
    }
    QVERIFY(found > 5000); // the cases are not all misses
}

void TestLikeSubstring::leavesOtherPatternsAndMalformedTextToSqlite_data() {
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("prefix only") << QByteArray("成员%") << QByteArray("成员107号");
    QTest::newRow("one character") << QByteArray("%成_7%") << QByteArray("成员107号");
    QTest::newRow("two wildcards inside") << QByteArray("%a%b%") << QByteArray("ab");
    QTest::newRow("no wildcard") << QByteArray("ab") << QByteArray("ab");
    QTest::newRow("just the wildcard") << QByteArray("%") << QByteArray("ab");
    for (const std::string &bad : kMalformed)
        QTest::newRow(("malformed text " + QByteArray::fromStdString(bad).toHex()).constData())
            << QByteArray("%成%") << QByteArray::fromStdString("x" + bad + "成");
}

void TestLikeSubstring::leavesOtherPatternsAndMalformedTextToSqlite() {
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, text);
    QVERIFY(!likeAsSubstring(pattern.toStdString(), text.toStdString()).has_value());
}

QTEST_GUILESS_MAIN(TestLikeSubstring)
#include "test_like_substring.moc"
