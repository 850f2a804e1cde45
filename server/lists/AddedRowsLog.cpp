#include "lists/AddedRowsLog.h"

#include <algorithm>

namespace appserver {
namespace {

// The rows at places in an answer stand, once rows are added at added (in
// the new answer, rising), where the result says; with the added ones.
std::vector<size_t> afterAdding(const std::vector<size_t> &places, const std::vector<size_t> &added) {
    std::vector<size_t> moved;
    moved.reserve(places.size());
    size_t before = 0; // added rows before the next kept one
    for (size_t place : places) {
        while (before < added.size() && added[before] <= place + before)
            ++before;
        moved.push_back(place + before);
    }
    std::vector<size_t> all;
    all.reserve(moved.size() + added.size());
    std::merge(moved.begin(), moved.end(), added.begin(), added.end(), std::back_inserter(all));
    return all;
}

} // namespace

AddedRowsLog::Steps &AddedRowsLog::stepsOf(const std::string &statement) {
    if (byStatement_.size() >= kStatements && !byStatement_.count(statement))
        byStatement_.clear();
    return byStatement_[statement];
}

void AddedRowsLog::note(const std::string &statement, const std::string &from,
                        const std::string &to, const std::vector<size_t> &places) {
    std::lock_guard<std::mutex> lock(mutex_);
    Steps &steps = stepsOf(statement);
    if (!steps.byTo.emplace(to, Step{from, places}).second)
        return;
    steps.order.push_back(to);
    if (steps.order.size() > kStepsEach) {
        steps.byTo.erase(steps.order.front());
        steps.order.pop_front();
    }
}

void AddedRowsLog::doubt(const std::string &statement, const std::string &tag) {
    std::lock_guard<std::mutex> lock(mutex_);
    Steps &steps = stepsOf(statement);
    if (!steps.doubted.insert(tag).second)
        return;
    steps.doubtOrder.push_back(tag);
    if (steps.doubtOrder.size() > kStepsEach) {
        steps.doubted.erase(steps.doubtOrder.front());
        steps.doubtOrder.pop_front();
    }
}

std::optional<std::vector<size_t>> AddedRowsLog::placesSince(const std::string &statement,
                                                             const std::string &held,
                                                             const std::string &now) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byStatement_.find(statement);
    if (found == byStatement_.end() || found->second.doubted.count(held) ||
        found->second.doubted.count(now))
        return std::nullopt;
    const Steps &steps = found->second;
    // Back from now to held, then forward again adding each step's rows.
    std::vector<const Step *> back;
    for (std::string at = now; at != held;) {
        const auto step = steps.byTo.find(at);
        if (step == steps.byTo.end() || back.size() >= steps.byTo.size())
            return std::nullopt;
        back.push_back(&step->second);
        at = step->second.from;
    }
    std::vector<size_t> places;
    for (auto step = back.rbegin(); step != back.rend(); ++step)
        places = afterAdding(places, (*step)->places);
    return places;
}

} // namespace appserver
