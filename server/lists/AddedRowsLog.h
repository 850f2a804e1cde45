#pragma once
// What was added to a statement's answer from one exact version to the next,
// as its kept answer was brought up to date: a member whose answer is a few
// versions old, and no longer kept, still gets only the rows added since
// (226), as long as the steps from its answer to the one now are logged.

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
    // tagged now (rising); nothing when the log does not lead from one to
    // the other.
    std::optional<std::vector<size_t>> placesSince(const std::string &statement,
                                                   const std::string &held,
                                                   const std::string &now);

private:
    static constexpr size_t kStatements = 64;
    static constexpr size_t kStepsEach = 1024;
    struct Step {
        std::string from;
        std::vector<size_t> places;
    };
    struct Steps {
        std::unordered_map<std::string, Step> byTo;
        std::deque<std::string> order; // oldest first
        std::unordered_set<std::string> doubted;
        std::deque<std::string> doubtOrder;
    };
    Steps &stepsOf(const std::string &statement); // with mutex_ held

    std::mutex mutex_;
    std::unordered_map<std::string, Steps> byStatement_;
};

} // namespace appserver
