#pragma once
// How long the last answer of each statement shape was, so that the next
// answer of that shape takes its room at once instead of growing step by step
// (each step copies what was written and touches fresh memory).

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace appserver {

class AnswerSizes {
public:
    // 0 when no answer of the shape has been seen.
    size_t expected(const std::string &shape) const;
    void note(const std::string &shape, size_t bytes);

private:
    // The client sends a few dozen shapes; other tools' statements may be
    // many, and are not remembered past this.
    static constexpr size_t kShapes = 256;

    mutable std::mutex mutex_;
    std::unordered_map<std::string, size_t> byShape_;
};

} // namespace appserver
