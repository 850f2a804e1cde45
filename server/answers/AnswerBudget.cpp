#include "answers/AnswerBudget.h"

#include <utility>

namespace appserver {

bool AnswerBudget::take(size_t bytes) {
    long long left = left_.load();
    do {
        if (left < static_cast<long long>(bytes))
            return false;
    } while (!left_.compare_exchange_weak(left, left - static_cast<long long>(bytes)));
    return true;
}

BudgetShare::BudgetShare(BudgetShare &&other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), held_(std::exchange(other.held_, 0)) {}

BudgetShare &BudgetShare::operator=(BudgetShare &&other) noexcept {
    if (this != &other) {
        release();
        budget_ = std::exchange(other.budget_, nullptr);
        held_ = std::exchange(other.held_, 0);
    }
    return *this;
}

bool BudgetShare::holdAtLeast(size_t bytes) {
    if (bytes <= held_)
        return true;
    // Whole MiB at a time, so a growing answer seldom touches the shared count.
    constexpr size_t kStep = 1 << 20;
    const size_t more = (bytes - held_ + kStep - 1) / kStep * kStep;
    if (!budget_ || !budget_->take(more))
        return false;
    held_ += more;
    return true;
}

void BudgetShare::release() {
    if (budget_)
        budget_->giveBack(held_);
    budget_ = nullptr;
    held_ = 0;
}

} // namespace appserver
