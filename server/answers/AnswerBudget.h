#pragma once
// Memory for large answers, shared by all requests. An answer past a small
// size draws on it as it grows and gives it back once its last byte has been
// sent, so answers that slow readers leave unread cannot pile up: when the
// budget is spent, the next large answer is refused instead.

#include <atomic>
#include <cstddef>

namespace appserver {

class AnswerBudget {
public:
    explicit AnswerBudget(size_t bytes) : left_(static_cast<long long>(bytes)) {}
    bool take(size_t bytes);
    void giveBack(size_t bytes) { left_ += static_cast<long long>(bytes); }

private:
    std::atomic<long long> left_;
};

// The part of an AnswerBudget that one answer holds until it goes.
class BudgetShare {
public:
    BudgetShare() = default;
    explicit BudgetShare(AnswerBudget &budget) : budget_(&budget) {}
    BudgetShare(BudgetShare &&other) noexcept;
    BudgetShare &operator=(BudgetShare &&other) noexcept;
    ~BudgetShare() { release(); }

    // Holds at least bytes in all; false when the budget has not that much left.
    bool holdAtLeast(size_t bytes);

private:
    void release();

    AnswerBudget *budget_ = nullptr;
    size_t held_ = 0;
};

} // namespace appserver
