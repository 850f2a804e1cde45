#pragma once
// What every request of the data access gives back: a query its rows or a
// failure, a change the count of rows it changed or a failure.

#include "data/Failure.h"
#include "data/answers/DataPacket.h"

#include <optional>
#include <utility>

class QueryResult {
public:
    QueryResult(PDataPacket rows) : rows_(std::move(rows)) { Q_ASSERT(rows_); }
    QueryResult(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    // The rows; only with ok().
    const PDataPacket &rows() const {
        Q_ASSERT(ok());
        return rows_;
    }
    // Why there are no rows; only without ok().
    const Failure &failure() const {
        Q_ASSERT(!ok());
        return *failure_;
    }

private:
    PDataPacket rows_;
    std::optional<Failure> failure_;
};

class ChangeOutcome {
public:
    explicit ChangeOutcome(long long count) : count_(count) { Q_ASSERT(count >= 0); }
    ChangeOutcome(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    // Rows changed; 0 when the statement matched none. Only with ok().
    long long count() const {
        Q_ASSERT(ok());
        return count_;
    }
    bool changedAnyRow() const { return ok() && count_ > 0; }
    const Failure &failure() const {
        Q_ASSERT(!ok());
        return *failure_;
    }

private:
    long long count_ = 0;
    std::optional<Failure> failure_;
};
