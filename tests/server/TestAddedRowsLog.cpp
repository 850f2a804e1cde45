// The rows added to an answer over many steps, told from the log of each
// step's places: a member holding any logged answer rebuilds the answer now
// from its own and the rows sent, for random answers grown at random places
// (and now and then from an earlier answer than the latest); one whose answer
// the answer now did not grow from gets nothing.

#include "answers/RowDelta.h"
#include "lists/AddedRowsLog.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace appserver;

namespace {

const std::string kStatement = "Select * From Notice Where CreateTime>='2026-11-20'Order by "
                               "CreateTime desc";

std::shared_ptr<const CachedAnswer> answerOf(const std::vector<int> &rows, const std::string &tag) {
    std::string json = "{\"columns\":[\"v\"],\"rows\":[";
    std::vector<uint32_t> starts;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i)
            json += ',';
        starts.push_back(uint32_t(json.size()));
        json += "[\"" + std::to_string(rows[i]) + "\"]";
    }
    json += "]}";
    return std::make_shared<const CachedAnswer>(tag, json, starts);
}

std::string tagOf(int version) { return "\"v" + std::to_string(version) + "\""; }

} // namespace

class TestAddedRowsLog : public QObject {
    Q_OBJECT
private slots:
    void anyLoggedAnswerIsBroughtUpToDate();
    void manyStepsAreWalkedUntilTooManyRows();
    void doubtedOrUnknownAnswersAreNot();
};

void TestAddedRowsLog::anyLoggedAnswerIsBroughtUpToDate() {
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    AddedRowsLog log;
    std::vector<std::vector<int>> answers{{}};
    std::vector<int> parent{-1}; // the version each grew from
    int next = 0;
    for (int i = 0; i < 200; ++i)
        answers[0].push_back(next++);
    for (int version = 1; version <= 120; ++version) {
        // Mostly from the latest; now and then two requests bring one
        // answer up to date at once, and the versions fork.
        const int from = random.bounded(5) ? version - 1 : std::max(0, version - 1 - random.bounded(4));
        std::vector<int> rows = answers[size_t(from)];
        // One to four rows, mostly at the front as new notices are, some anywhere.
        const int first = next;
        for (int n = 1 + random.bounded(4); n > 0; --n) {
            const size_t at = random.bounded(3) ? random.bounded(3) : random.bounded(int(rows.size() + 1));
            rows.insert(rows.begin() + long(at), next++);
        }
        std::vector<size_t> places;
        for (size_t at = 0; at < rows.size(); ++at)
            if (rows[at] >= first)
                places.push_back(at);
        log.note(kStatement, tagOf(from), tagOf(version), places);
        answers.push_back(rows);
        parent.push_back(from);
    }
    // Members holding one answer ask at later and later versions, as they
    // do when they last asked at the same time.
    std::vector<std::pair<int, int>> asked;
    for (int held = 0; held < int(answers.size()); held += 1 + random.bounded(3))
        for (int now = held; now < int(answers.size()); now += 1 + random.bounded(20))
            asked.emplace_back(held, now);
    for (const auto &[held, now] : asked) {
        const std::string where = "seed " + std::to_string(seed) + ", from " +
                                  std::to_string(held) + " to " + std::to_string(now);
        bool grewFromHeld = false;
        for (int at = now; at >= 0 && !grewFromHeld; at = parent[size_t(at)])
            grewFromHeld = at == held;
        const auto added = log.placesSince(kStatement, tagOf(held), tagOf(now),
                                           answers[size_t(now)].size(), answers[size_t(now)].size());
        QVERIFY2(bool(added) == grewFromHeld, where.c_str());
        if (!added)
            continue;
        // Without the rows at those places, the answer now is the one held.
        std::vector<int> without;
        for (size_t at = 0, next = 0; at < answers[size_t(now)].size(); ++at)
            if (next < added->size() && (*added)[next] == at)
                ++next;
            else
                without.push_back(answers[size_t(now)][at]);
        QVERIFY2(without == answers[size_t(held)], where.c_str());
        // And the row changes sent rebuild it from the one held.
        const auto later = answerOf(answers[size_t(now)], tagOf(now));
        if (const auto delta = rowDeltaOfAdded(*later, *added)) {
            std::vector<int> rebuilt(answers[size_t(held)].begin(),
                                     answers[size_t(held)].begin() + long(delta->front));
            for (size_t at = delta->front; at < delta->front + delta->rows; ++at)
                rebuilt.push_back(answers[size_t(now)][at]);
            rebuilt.insert(rebuilt.end(), answers[size_t(held)].end() - long(delta->back),
                           answers[size_t(held)].end());
            QVERIFY2(rebuilt == answers[size_t(now)], where.c_str());
        } else {
            QVERIFY2(held != now || added->empty(), where.c_str());
        }
    }
}

void TestAddedRowsLog::manyStepsAreWalkedUntilTooManyRows() {
    // A busy panel: a member's answer is 20,000 steps of one new notice old
    // (a minute of notices from 100,000 members).
    AddedRowsLog log;
    constexpr int kSteps = 20000;
    for (int version = 1; version <= kSteps; ++version)
        log.note(kStatement, tagOf(version - 1), tagOf(version), {0});
    const size_t rowsNow = 3000 + kSteps;
    const auto added = log.placesSince(kStatement, tagOf(0), tagOf(kSteps), rowsNow, kSteps);
    QVERIFY(added);
    QCOMPARE(added->size(), size_t(kSteps));
    QCOMPARE(added->front(), size_t(0));
    QCOMPARE(added->back(), size_t(kSteps - 1));
    // One row more than the member would be sent as changed rows: whole.
    QVERIFY(!log.placesSince(kStatement, tagOf(0), tagOf(kSteps), rowsNow, kSteps - 1));
    QVERIFY(log.placesSince(kStatement, tagOf(1), tagOf(kSteps), rowsNow, kSteps - 1));
    // The oldest steps give way to new ones: their answers go whole.
    for (int version = kSteps + 1; version <= 5 * kSteps; ++version)
        log.note(kStatement, tagOf(version - 1), tagOf(version), {0});
    QVERIFY(!log.placesSince(kStatement, tagOf(0), tagOf(5 * kSteps), 10 * kSteps, 10 * kSteps));
    const auto recent = log.placesSince(kStatement, tagOf(4 * kSteps), tagOf(5 * kSteps),
                                        10 * kSteps, 10 * kSteps);
    QVERIFY(recent);
    QCOMPARE(recent->size(), size_t(kSteps));
}

void TestAddedRowsLog::doubtedOrUnknownAnswersAreNot() {
    AddedRowsLog log;
    log.note(kStatement, tagOf(0), tagOf(1), {0});
    log.note(kStatement, tagOf(1), tagOf(2), {0, 5});
    const auto since = [&](const std::string &statement, int held, int now) {
        return log.placesSince(statement, tagOf(held), tagOf(now), 10, 10);
    };
    QVERIFY(since(kStatement, 0, 2));
    QVERIFY(!since(kStatement, 7, 2));            // never logged
    QVERIFY(!since("Select * From Login", 0, 2)); // another statement
    log.doubt(kStatement, tagOf(1));
    QVERIFY(!since(kStatement, 1, 2));
    QVERIFY(since(kStatement, 0, 2));
    log.doubt(kStatement, tagOf(2));
    QVERIFY(!since(kStatement, 0, 2));
}

QTEST_GUILESS_MAIN(TestAddedRowsLog)
#include "TestAddedRowsLog.moc"
