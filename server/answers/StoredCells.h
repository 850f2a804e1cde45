#pragma once
// An answer's cells as the database gave them, kept beside its JSON text so
// that the next answer to the same statement can tell its unchanged rows by
// comparing bytes, and take their text instead of writing it again.

#include "storage/Storage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace appserver {

class StoredCells {
public:
    // Room for as many cells as like holds, and a little more.
    void reserveLike(const StoredCells &like);
    // Room for this much text.
    void reserveText(size_t bytes) { text_.reserve(bytes); }
    // False, keeping nothing more, once the cells would pass maxBytes.
    bool add(const std::vector<CellView> &row, size_t maxBytes);
    // Adds row of from, as add() would add the same cells.
    bool addRowOf(const StoredCells &from, size_t row, size_t maxBytes);
    // Whether row holds exactly these cells.
    bool holds(size_t row, const std::vector<CellView> &cells) const;
    size_t rows() const { return width_ ? ends_.size() / width_ : 0; }
    size_t bytes() const { return text_.size() + ends_.size() * sizeof(uint32_t); }

private:
    static constexpr uint32_t kNull = 0x80000000u; // marks a NULL cell's end

    std::string text_;
    std::vector<uint32_t> ends_; // where each cell ends in text_, row after row
    size_t width_ = 0;
};

} // namespace appserver
