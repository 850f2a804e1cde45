// The rows added to an answer over many steps, told from the log of each
// step's places: a member holding any logged answer rebuilds the answer now
// from its own and the rows sent, for random answers grown at random places.

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
    void doubtedOrUnknownAnswersAreNot();
};

void TestAddedRowsLog::anyLoggedAnswerIsBroughtUpToDate() {
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    AddedRowsLog log;
    std::vector<std::vector<int>> answers{{}};
    int next = 0;
    for (int i = 0; i < 200; ++i)
        answers[0].push_back(next++);
    for (int version = 1; version <= 60; ++version) {
        std::vector<int> rows = answers.back();
        // One to four rows, mostly at the front as new notices are, some anywhere.
        std::vector<size_t> places;
        for (int n = 1 + random.bounded(4); n > 0; --n) {
            const size_t at = random.bounded(3) ? random.bounded(3) : random.bounded(int(rows.size() + 1));
            rows.insert(rows.begin() + long(at), next++);
        }
        for (size_t at = 0; at < rows.size(); ++at)
            if (rows[at] >= next - 4 && std::find(answers.back().begin(), answers.back().end(),
                                                   rows[at]) == answers.back().end())
                places.push_back(at);
        log.note(kStatement, tagOf(version - 1), tagOf(version), places);
        answers.push_back(rows);
    }
    for (int held = 0; held < int(answers.size()); held += 1 + random.bounded(5)) {
        const int now = held + random.bounded(int(answers.size()) - held);
        const std::string where = "seed " + std::to_string(seed) + ", from " +
                                  std::to_string(held) + " to " + std::to_string(now);
        const auto added = log.placesSince(kStatement, tagOf(held), tagOf(now));
        QVERIFY2(added, where.c_str());
        // Without the rows at those places, the answer now is the one held.
        std::vector<int> without;
        for (size_t at = 0, next = 0; at < answers[now].size(); ++at)
            if (next < added->size() && (*added)[next] == at)
                ++next;
            else
                without.push_back(answers[now][at]);
        QVERIFY2(without == answers[held], where.c_str());
        // And the row changes sent rebuild it from the one held.
        const auto later = answerOf(answers[now], tagOf(now));
        if (const auto delta = rowDeltaOfAdded(*later, *added)) {
            std::vector<int> rebuilt(answers[held].begin(), answers[held].begin() + long(delta->front));
            for (size_t at = delta->front; at < delta->front + delta->rows; ++at)
                rebuilt.push_back(answers[now][at]);
            rebuilt.insert(rebuilt.end(), answers[held].end() - long(delta->back), answers[held].end());
            QVERIFY2(rebuilt == answers[now], where.c_str());
        } else {
            QVERIFY2(held != now || added->empty(), where.c_str());
        }
    }
}

void TestAddedRowsLog::doubtedOrUnknownAnswersAreNot() {
    AddedRowsLog log;
    log.note(kStatement, tagOf(0), tagOf(1), {0});
    log.note(kStatement, tagOf(1), tagOf(2), {0, 5});
    QVERIFY(log.placesSince(kStatement, tagOf(0), tagOf(2)));
    QVERIFY(!log.placesSince(kStatement, tagOf(7), tagOf(2)));          // never logged
    QVERIFY(!log.placesSince("Select * From Login", tagOf(0), tagOf(2))); // another statement
    log.doubt(kStatement, tagOf(1));
    QVERIFY(!log.placesSince(kStatement, tagOf(1), tagOf(2)));
    QVERIFY(log.placesSince(kStatement, tagOf(0), tagOf(2)));
    log.doubt(kStatement, tagOf(2));
    QVERIFY(!log.placesSince(kStatement, tagOf(0), tagOf(2)));
}

QTEST_GUILESS_MAIN(TestAddedRowsLog)
#include "TestAddedRowsLog.moc"
