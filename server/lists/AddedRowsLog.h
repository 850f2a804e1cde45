#pragma once
// What was added to a statement's answer from one exact version to the next,
// as its kept answer was brought up to date: a member whose answer is a few
// versions old, and no longer kept, still gets only the rows added since
// (226), as long as the steps from its answer to the one now are logged.
//
// A busy panel takes hundreds of steps a second and a member asks every
// 100 s, so a statement keeps its steps in arrival order, each linked to the
// one it grew from: a walk back follows the links by number, not the tags,
// and an answer that grew too much is told from two counts, without a walk.

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace appserver {

class AddedRowsLog {
public:
    // The answer tagged to is the one tagged from with rows added at places
    // (rising, in to's order).
    void note(const std::string &statement, const std::string &from, const std::string &to,
              const std::vector<size_t> &places);
    // An answer went out under tag that may hold more than its version: no
    // step leads from it or to it.
    void doubt(const std::string &statement, const std::string &tag);
    // Where the rows added since the answer tagged held stand in the answer
    // tagged now, of rowsNow rows (rising); nothing when the log does not
    // lead from one to the other, or when more than mostAdded rows were
    // added (the answer is then better sent whole).
    std::optional<std::vector<size_t>> placesSince(const std::string &statement,
                                                   const std::string &held,
                                                   const std::string &now, size_t rowsNow,
                                                   size_t mostAdded);

private:
    // A panel per first day: one or two in use at a time.
    static constexpr size_t kStatements = 4;
    static constexpr size_t kStepsEach = 1 << 16;          // some 200 s of a busy panel
    static constexpr size_t kBytesEach = size_t(16) << 20; // and no more memory than this
    static constexpr size_t kDoubtedEach = 1024;
    static constexpr uint64_t kNone = UINT64_MAX;
    struct Step {
        std::string from, to;
        uint64_t previous = kNone; // the number of the step that led to from
        std::vector<uint32_t> places;
        uint64_t addedSoFar = 0; // places here and in the steps that led here
        size_t bytes() const;
    };
    struct Steps {
        std::deque<Step> steps;   // oldest first
        uint64_t firstNumber = 0; // of steps.front(): numbers rise by one
        size_t bytes = 0;
        std::unordered_map<std::string, uint64_t> numberByTo;
        std::unordered_set<std::string> doubted;
        std::deque<std::string> doubtOrder;
        uint64_t lastUsed = 0; // the statement least recently logged gives way
        // The last answer given: members who last asked at the same time hold
        // the same tag, and the next of them walks only the steps since.
        struct Given {
            std::string held;
            uint64_t now = kNone;
            std::vector<size_t> places;
        } given;
        const Step *numbered(uint64_t number) const;
    };
    Steps &stepsOf(const std::string &statement); // with mutex_ held

    std::mutex mutex_;
    std::unordered_map<std::string, Steps> byStatement_;
    uint64_t uses_ = 0;
};

} // namespace appserver
