#include "data/connection/RememberedAnswers.h"

std::optional<RememberedAnswers::Answer> RememberedAnswers::find(const std::string &statement) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = byStatement_.find(statement);
    if (found == byStatement_.end())
        return std::nullopt;
    return found->second;
}

void RememberedAnswers::keep(const std::string &statement, Answer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (byStatement_.size() >= kStatements && !byStatement_.count(statement))
        byStatement_.clear(); // rare: only a member searching a lot gets here
    byStatement_[statement] = std::move(answer);
}
