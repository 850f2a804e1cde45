// The kept answers stay within the memory they are given, each counted once
// at what it holds: its text, where its rows start, and its compressed form
// once that is made.

#include "answers/AnswerCache.h"

#include <QtTest>

#include <memory>
#include <string>
#include <vector>

using appserver::AnswerCache;
using appserver::CachedAnswer;

namespace {

// An answer of about bytes of text in rows of 100, tagged by n; its text
// compresses to little, as a member's list does.
std::shared_ptr<const CachedAnswer> answerOf(int n, size_t bytes) {
    std::string json = "{\"columns\":[\"a\"],\"rows\":[";
    std::vector<uint32_t> starts;
    while (json.size() + 100 < bytes) {
        if (!starts.empty())
            json += ',';
        starts.push_back(uint32_t(json.size()));
        json += "[\"" + std::string(94, char('a' + starts.size() % 26)) + "\"]";
    }
    json += "]}";
    return std::make_shared<const CachedAnswer>("tag" + std::to_string(n), std::move(json),
                                                std::move(starts));
}

std::string keyOf(int n) {
    return "v1\nSelect " + std::to_string(n);
}

int keptOf(AnswerCache &cache, int count) {
    int kept = 0;
    for (int n = 0; n < count; ++n)
        kept += cache.find(keyOf(n)) != nullptr;
    return kept;
}

} // namespace

class TestAnswerCache : public QObject {
    Q_OBJECT

private slots:
    void answersCountedAtTheirText();
    void compressedFormCountedOnceMade();
    void answerDroppedBeforeCompressingCountsNothing();
    void replacedAnswersGoBeforeCurrentOnes();
};

void TestAnswerCache::answersCountedAtTheirText() {
    // Eight answers of 100 KiB fit in 1 MiB: each is
    // counted at its text (and row starts), not at a multiple of it.
    AnswerCache cache(1 << 20);
    for (int n = 0; n < 8; ++n)
        QVERIFY(cache.store(keyOf(n), answerOf(n, 100 << 10)));
    QCOMPARE(keptOf(cache, 8), 8);
    QVERIFY(cache.bytes() <= size_t(1) << 20);
    QVERIFY(cache.bytes() >= size_t(8) * (100 << 10));
    // More push out the least recently used ones: the first was just asked,
    // so the second goes first.
    QVERIFY(cache.find(keyOf(0)));
    for (int n = 8; n < 12; ++n)
        QVERIFY(cache.store(keyOf(n), answerOf(n, 100 << 10)));
    QVERIFY(cache.find(keyOf(0)));
    QVERIFY(!cache.find(keyOf(1)));
    QVERIFY(cache.bytes() <= size_t(1) << 20);
}

void TestAnswerCache::compressedFormCountedOnceMade() {
    AnswerCache cache(1 << 20);
    for (int n = 0; n < 8; ++n)
        QVERIFY(cache.store(keyOf(n), answerOf(n, 100 << 10)));
    const size_t before = cache.bytes();
    const auto answer = cache.find(keyOf(7));
    const std::string &gzip = answer->gzip();
    QVERIFY(!gzip.empty());
    QCOMPARE(cache.bytes(), before + gzip.size());
    // Asked again, it is the same form, not counted twice.
    answer->gzip();
    QCOMPARE(cache.bytes(), before + gzip.size());

    // Compressed forms that pass the limit push out the oldest answers.
    for (int n = 0; n < 7; ++n)
        if (auto each = cache.find(keyOf(n)))
            each->gzip();
    QVERIFY(cache.bytes() <= size_t(1) << 20);
}

void TestAnswerCache::answerDroppedBeforeCompressingCountsNothing() {
    AnswerCache cache(1 << 20);
    const auto first = answerOf(0, 100 << 10);
    QVERIFY(cache.store(keyOf(0), first));
    for (int n = 1; n < 10; ++n)
        QVERIFY(cache.store(keyOf(n), answerOf(n, 100 << 10)));
    QVERIFY(!cache.find(keyOf(0)));
    const size_t before = cache.bytes();
    first->gzip(); // still held by a reply being sent
    QCOMPARE(cache.bytes(), before);
    // Nor is an answer kept twice under another key.
    QVERIFY(!cache.store(keyOf(20), cache.find(keyOf(9))));
}

void TestAnswerCache::replacedAnswersGoBeforeCurrentOnes() {
    // Three members' lists, asked once; then a panel answered anew at every
    // change, twenty times the cache's room over. The lists stay, and so do
    // the panel's latest answers as room allows.
    AnswerCache cache(1 << 20);
    for (int n = 0; n < 3; ++n)
        QVERIFY(cache.store(keyOf(n), answerOf(n, 100 << 10)));
    auto panelAt = [](int version) {
        return "v" + std::to_string(version) + "\nSelect panel";
    };
    for (int version = 1; version <= 200; ++version)
        QVERIFY(cache.store(panelAt(version), answerOf(100 + version, 100 << 10)));
    QCOMPARE(keptOf(cache, 3), 3);
    QVERIFY(cache.find(panelAt(200)));
    QVERIFY(cache.findSent("tag299", "Select panel")); // a member holding the one before
    QVERIFY(!cache.find(panelAt(1)));
    QVERIFY(cache.bytes() <= size_t(1) << 20);
    // Replaced answers gone, the least recently used current one goes first.
    for (int n = 3; n < 12; ++n)
        QVERIFY(cache.store(keyOf(n), answerOf(n, 100 << 10)));
    QVERIFY(!cache.find(panelAt(199)));
    QVERIFY(cache.find(keyOf(11)));
    QVERIFY(cache.bytes() <= size_t(1) << 20);
}

QTEST_GUILESS_MAIN(TestAnswerCache)
#include "TestAnswerCache.moc"
