#pragma once
// A kept answer brought up to date without running its statement again: the
// rows added since, as the storage places them, written as an answer's rows
// are and merged into the kept rows at their places.

#include "answers/AnswerCache.h"
#include "storage/Storage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace appserver {

class AddedRows : public PlacedRows {
public:
    bool add(size_t place, const std::vector<CellView> &row) override;
    size_t rows() const { return places_.size(); }
    const std::vector<size_t> &places() const { return places_; }

private:
    friend std::shared_ptr<const CachedAnswer> withAddedRows(const CachedAnswer &, const AddedRows &,
                                                             std::string, size_t, size_t);
    std::vector<size_t> places_; // in the answer brought up to date, rising
    std::string text_;           // the rows' JSON, one after another
    std::vector<uint32_t> ends_; // where each row's JSON ends in text_
    StoredCells cells_;
    bool cellsKept_ = true;
};

// kept with added's rows at their places, tagged etag; its cells kept up to
// cellsUpTo bytes when kept's were. Nothing when the places do not fit kept
// or the answer would be longer than maxBytes: the statement is then run.
std::shared_ptr<const CachedAnswer> withAddedRows(const CachedAnswer &kept, const AddedRows &added,
                                                  std::string etag, size_t maxBytes,
                                                  size_t cellsUpTo);

} // namespace appserver
