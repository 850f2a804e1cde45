#include "answers/AnswerSizes.h"

namespace appserver {

size_t AnswerSizes::expected(const std::string &shape) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = byShape_.find(shape);
    return found == byShape_.end() ? 0 : found->second;
}

void AnswerSizes::note(const std::string &shape, size_t bytes) {
    if (shape.empty())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (byShape_.size() < kShapes || byShape_.count(shape))
        byShape_[shape] = bytes;
}

} // namespace appserver
