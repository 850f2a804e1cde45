// The server writes every stored text into its answers as a JSON string:
// whatever a cell holds, a JSON reader must get it back unchanged, and text
// that is not UTF-8 must still make valid JSON.

#include "answers/JsonText.h"
#include "answers/StoredCells.h"

#include <QtTest>

#include <nlohmann/json.hpp>

#include <random>

using nlohmann::json;

namespace {

std::string written(const std::string &value) {
    std::string out;
    appserver::appendJsonString(out, value);
    return out;
}

// Pieces that need care, mixed at every offset around the eight-byte steps.
const std::vector<std::string> kValidPieces = {"a",
                                               "plain ascii",
                                               "\"",
                                               "\\",
                                               "\n",
                                               "\r",
                                               "\t",
                                               "\x01",
                                               "\x1f",
                                               " ",
                                               "~",
                                               "\x7f",
                                               "é",
                                               "中",
                                               "项目编号",
                                               "\xef\xbf\xbd",
                                               "😀",
                                               "\xe0\xa0\x80",
                                               "\xed\x9f\xbf",
                                               "\xf4\x8f\xbf\xbf"};
const std::vector<std::string> kInvalidPieces = {"\xff",
                                                 "\xc0\x80",
                                                 "\xed\xa0\x80",
                                                 "\xe4\xb8",
                                                 "\xf4\x90\x80\x80",
                                                 "\x80",
                                                 "\xf8\x88\x80\x80\x80"};

std::string randomText(std::mt19937 &random, const std::vector<std::string> &pieces, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += pieces[random() % pieces.size()];
    return text;
}

} // namespace

class TestJsonText : public QObject {
    Q_OBJECT
private slots:
    void validTextComesBackUnchanged();
    void invalidTextMakesValidJson();
    void cellsCopiedFromAnotherAnswerAreTheSame();
};

void TestJsonText::validTextComesBackUnchanged() {
    std::mt19937 random(7);
    for (int round = 0; round < 5000; ++round) {
        const std::string text = randomText(random, kValidPieces, round % 24);
        const std::string out = written(text);
        const json read = json::parse(out, nullptr, false);
        QVERIFY2(read.is_string() && read.get<std::string>() == text, out.c_str());
    }
}

void TestJsonText::invalidTextMakesValidJson() {
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        std::string text = randomText(random, kValidPieces, round % 12);
        text.insert(random() % (text.size() + 1), randomText(random, kInvalidPieces, 1));
        const std::string out = written(text);
        const json read = json::parse(out, nullptr, false);
        QVERIFY2(read.is_string(), out.c_str());
        // Written as the JSON library writes such text: each bad byte replaced.
        QCOMPARE(out, json(text).dump(-1, ' ', false, json::error_handler_t::replace));
    }
}

void TestJsonText::cellsCopiedFromAnotherAnswerAreTheSame() {
    using appserver::CellView;
    using appserver::StoredCells;
    const std::vector<std::vector<CellView>> rows = {
        {"a", std::nullopt, "", "text"},
        {"", "", "", ""},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"项目编号:P1", "m1", "m1|m2", "2026-12-10 10:00:00"},
    };
    StoredCells earlier;
    for (const auto &row : rows)
        QVERIFY(earlier.add(row, 1 << 20));

    // Rows taken from earlier in another order, between rows of its own.
    const std::vector<CellView> own = {"own", std::nullopt, "x", "y"};
    const std::vector<size_t> order = {3, 0, 2, 1};
    StoredCells later;
    QVERIFY(later.add(own, 1 << 20));
    for (size_t row : order)
        QVERIFY(later.addRowOf(earlier, row, 1 << 20));
    QVERIFY(later.add(own, 1 << 20));
    QCOMPARE(later.rows(), size_t(6));
    QVERIFY(later.holds(0, own));
    QVERIFY(later.holds(5, own));
    for (size_t i = 0; i < order.size(); ++i) {
        QVERIFY(later.holds(i + 1, rows[order[i]]));
        // A NULL is not an empty text, nor the other way round.
        auto other = rows[order[i]];
        other[1] = other[1] ? std::optional<std::string_view>() : CellView("");
        QVERIFY(!later.holds(i + 1, other));
    }
    // No more than the limit is kept.
    StoredCells small;
    QVERIFY(!small.addRowOf(earlier, 3, 10));
    QVERIFY(!small.addRowOf(earlier, 4, 1 << 20));
}

QTEST_GUILESS_MAIN(TestJsonText)
#include "TestJsonText.moc"
