#pragma once
// Writes JSON text straight into a string: the query answers are large and
// their shape is fixed, so no document tree is built for them.

#include "answers/AnswerBudget.h"
#include "answers/AnswerCache.h"
#include "storage/Storage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

// Appends value as a JSON string literal; invalid UTF-8 becomes U+FFFD.
void appendJsonString(std::string &out, std::string_view value);

// Appends one row of an answer, [...], as JsonRowsWriter writes it.
void appendJsonRow(std::string &out, const std::vector<CellView> &row);

// Writes an OpenSQL answer, {"columns":[...],"rows":[[...],...]}, as its rows
// arrive, and takes no more rows once the text passes maxBytes, or once a
// large answer finds the shared budget spent: an answer never holds much more
// memory than that.
class JsonRowsWriter : public RowSink {
public:
    // expectedBytes: how long the answer will likely be, taken at once
    // instead of growing step by step (up to the size of a large answer).
    JsonRowsWriter(size_t maxBytes, AnswerBudget &budget, size_t expectedBytes = 0)
        : maxBytes_(maxBytes), expectedBytes_(expectedBytes), share_(budget) {}
    void begin(const std::vector<std::string> &columns) override;
    bool add(const std::vector<CellView> &row) override;
    std::string finish();
    size_t rows() const { return rows_; }
    // Where each row's "[" stands in the text, for comparing answers row by row.
    std::vector<uint32_t> takeRowStarts() { return std::move(rowStarts_); }
    // Keeps the rows' cells too, up to maxBytes of them, for the next answer
    // to the same statement to compare with.
    void keepCells(size_t maxBytes) { keepCellsUpTo_ = maxBytes; }
    StoredCells takeCells() { return std::move(cells_); }
    // A row equal to one of earlier (whose cells were kept) takes its text
    // instead of being written again; earlier must outlive the writer.
    void reuseRowsOf(const CachedAnswer &earlier) { earlier_ = &earlier; }
    // Why add() refused a row: the budget was spent, rather than the answer too long.
    bool outOfBudget() const { return outOfBudget_; }
    // The budget the answer holds, to keep until it has been sent.
    BudgetShare takeShare() { return std::move(share_); }

private:
    bool fits(size_t more) const { return out_.size() + more <= maxBytes_; }
    bool giveUp();
    // Writes row, as the text of earlier's row same when there is one.
    bool writeCells(const std::vector<CellView> &row, std::optional<size_t> same);
    // The row of earlier equal to row, looked for where the rows so far left
    // off (or one further: a row gone); none when none is.
    std::optional<size_t> earlierRow(const std::vector<CellView> &row);

    std::string out_;
    std::vector<uint32_t> rowStarts_;
    StoredCells cells_;
    size_t keepCellsUpTo_ = 0;
    const CachedAnswer *earlier_ = nullptr;
    size_t earlierNext_ = 0; // the row of earlier the next row likely equals
    size_t maxBytes_;
    size_t expectedBytes_;
    BudgetShare share_;
    size_t rows_ = 0;
    bool outOfBudget_ = false;
};

} // namespace appserver
