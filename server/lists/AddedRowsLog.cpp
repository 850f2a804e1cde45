#include "lists/AddedRowsLog.h"

#include <algorithm>

namespace appserver {
namespace {

// The places of an answer's rows not yet taken, counted in a Fenwick tree so
// that the k-th of them is found, and taken, in log(rows) steps.
class FreePlaces {
public:
    explicit FreePlaces(size_t rows) : tree_(rows + 1), free_(rows) {
        for (size_t i = 1; i <= rows; ++i)
            tree_[i] = uint32_t(i & (~i + 1)); // every place free
        for (top_ = 1; top_ * 2 <= rows;)
            top_ *= 2;
    }
    size_t free() const { return free_; }
    // The place of the free one with k free ones before it; k < free().
    size_t kth(size_t k) const {
        size_t at = 0;
        for (size_t step = top_; step; step /= 2)
            if (at + step < tree_.size() && tree_[at + step] <= k) {
                at += step;
                k -= tree_[at];
            }
        return at;
    }
    void take(size_t place) {
        --free_;
        for (size_t i = place + 1; i < tree_.size(); i += i & (~i + 1))
            --tree_[i];
    }

private:
    std::vector<uint32_t> tree_;
    size_t free_;
    size_t top_ = 0;
};

} // namespace

size_t AddedRowsLog::Step::bytes() const {
    return sizeof(Step) + from.capacity() + 2 * to.capacity() + places.capacity() * sizeof(uint32_t) +
           64; // the map's node
}

const AddedRowsLog::Step *AddedRowsLog::Steps::numbered(uint64_t number) const {
    if (number == kNone || number < firstNumber || number - firstNumber >= steps.size())
        return nullptr;
    return &steps[size_t(number - firstNumber)];
}

AddedRowsLog::Steps &AddedRowsLog::stepsOf(const std::string &statement) {
    if (byStatement_.size() >= kStatements && !byStatement_.count(statement))
        byStatement_.erase(std::min_element(byStatement_.begin(), byStatement_.end(),
                                            [](const auto &a, const auto &b) {
                                                return a.second.lastUsed < b.second.lastUsed;
                                            }));
    Steps &steps = byStatement_[statement];
    steps.lastUsed = ++uses_;
    return steps;
}

void AddedRowsLog::note(const std::string &statement, const std::string &from,
                        const std::string &to, const std::vector<size_t> &places) {
    if (!places.empty() && places.back() > UINT32_MAX)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    Steps &steps = stepsOf(statement);
    const uint64_t number = steps.firstNumber + steps.steps.size();
    if (!steps.numberByTo.emplace(to, number).second)
        return;
    Step step{from, to, kNone, std::vector<uint32_t>(places.begin(), places.end())};
    if (const auto previous = steps.numberByTo.find(from); previous != steps.numberByTo.end()) {
        step.previous = previous->second;
        step.addedSoFar = steps.numbered(previous->second)->addedSoFar;
    }
    step.addedSoFar += places.size();
    steps.bytes += step.bytes();
    steps.steps.push_back(std::move(step));
    while (steps.steps.size() > kStepsEach || steps.bytes > kBytesEach) {
        const Step &oldest = steps.steps.front();
        steps.bytes -= oldest.bytes();
        steps.numberByTo.erase(oldest.to);
        steps.steps.pop_front();
        ++steps.firstNumber;
    }
}

void AddedRowsLog::doubt(const std::string &statement, const std::string &tag) {
    std::lock_guard<std::mutex> lock(mutex_);
    Steps &steps = stepsOf(statement);
    if (!steps.doubted.insert(tag).second)
        return;
    steps.doubtOrder.push_back(tag);
    if (steps.doubtOrder.size() > kDoubtedEach) {
        steps.doubted.erase(steps.doubtOrder.front());
        steps.doubtOrder.pop_front();
    }
}

std::optional<std::vector<size_t>> AddedRowsLog::placesSince(const std::string &statement,
                                                             const std::string &held,
                                                             const std::string &now,
                                                             size_t rowsNow, size_t mostAdded) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byStatement_.find(statement);
    if (found == byStatement_.end() || found->second.doubted.count(held) ||
        found->second.doubted.count(now))
        return std::nullopt;
    if (held == now)
        return std::vector<size_t>();
    Steps &steps = found->second;
    const auto last = steps.numberByTo.find(now);
    if (last == steps.numberByTo.end())
        return std::nullopt;
    // Held is an answer a step led to, or the first answer of a chain of steps.
    const auto heldAt = steps.numberByTo.find(held);
    const uint64_t heldNumber = heldAt == steps.numberByTo.end() ? kNone : heldAt->second;
    const Step *newest = steps.numbered(last->second);
    const uint64_t addedSince =
        newest->addedSoFar - (heldNumber == kNone ? 0 : steps.numbered(heldNumber)->addedSoFar);
    // Along a chain the count only grows: held on another branch may seem to
    // have more than now, and is turned down here or on the way.
    if (addedSince > mostAdded || addedSince > rowsNow ||
        (heldNumber != kNone && heldNumber >= last->second))
        return std::nullopt;
    // Back from now to held along the links (or to the last answer given
    // from held); each leads to an earlier step.
    const uint64_t givenNow = steps.given.held == held ? steps.given.now : kNone;
    bool fromGiven = givenNow == last->second;
    std::vector<const Step *> back;
    for (const Step *step = newest; !fromGiven;) {
        back.push_back(step);
        if (step->previous == heldNumber && heldNumber != kNone)
            break;
        if (step->previous == givenNow && givenNow != kNone) {
            fromGiven = true;
            break;
        }
        const Step *previous = steps.numbered(step->previous);
        if (!previous) {
            if (heldNumber != kNone || step->from != held)
                return std::nullopt;
            break;
        }
        if (heldNumber != kNone && step->previous < heldNumber)
            return std::nullopt; // held is on another branch
        step = previous;
    }
    // Each step's places count the rows of its answer, which are those of the
    // answer now but the ones later steps added: newest first, each place is
    // the k-th row now not yet taken by a later step.
    FreePlaces free(rowsNow);
    std::vector<size_t> places;
    places.reserve(size_t(addedSince));
    auto placeStep = [&](const auto &stepPlaces) {
        const size_t first = places.size();
        for (size_t place : stepPlaces) {
            if (place >= free.free())
                return false;
            places.push_back(free.kth(place));
        }
        for (size_t i = first; i < places.size(); ++i)
            free.take(places[i]);
        return true;
    };
    for (const Step *step : back)
        if (!placeStep(step->places))
            return std::nullopt;
    // The rows added up to the answer given are placed in it as a step's are.
    if (fromGiven && !placeStep(steps.given.places))
        return std::nullopt;
    std::sort(places.begin(), places.end());
    steps.given = {held, last->second, places};
    return places;
}

} // namespace appserver
