#include "answers/StoredCells.h"

#include <algorithm>
#include <cstring>

namespace appserver {

void StoredCells::reserveLike(const StoredCells &like) {
    text_.reserve(like.text_.size() + like.text_.size() / 8);
    ends_.reserve(like.ends_.size() + like.ends_.size() / 8);
}

bool StoredCells::add(const std::vector<CellView> &row, size_t maxBytes) {
    size_t more = 0;
    for (const CellView &cell : row)
        more += cell ? cell->size() : 0;
    if (text_.size() + more > std::min<size_t>(maxBytes, kNull - 1) ||
        (width_ && row.size() != width_) || row.empty())
        return false;
    width_ = row.size();
    for (const CellView &cell : row) {
        if (cell)
            text_.append(cell->data(), cell->size());
        ends_.push_back(static_cast<uint32_t>(text_.size()) | (cell ? 0 : kNull));
    }
    return true;
}

bool StoredCells::addRowOf(const StoredCells &from, size_t row, size_t maxBytes) {
    if (row >= from.rows() || (width_ && from.width_ != width_))
        return false;
    const size_t first = row * from.width_, last = first + from.width_ - 1;
    const size_t begin = first ? from.ends_[first - 1] & ~kNull : 0;
    const size_t end = from.ends_[last] & ~kNull;
    if (text_.size() + (end - begin) > std::min<size_t>(maxBytes, kNull - 1))
        return false;
    width_ = from.width_;
    const size_t at = text_.size();
    text_.append(from.text_, begin, end - begin);
    for (size_t i = first; i <= last; ++i) {
        const uint32_t fromEnd = from.ends_[i];
        ends_.push_back(static_cast<uint32_t>((fromEnd & ~kNull) - begin + at) | (fromEnd & kNull));
    }
    return true;
}

bool StoredCells::holds(size_t row, const std::vector<CellView> &cells) const {
    if (cells.size() != width_ || row >= rows())
        return false;
    size_t at = row * width_;
    size_t from = at ? ends_[at - 1] & ~kNull : 0;
    for (const CellView &cell : cells) {
        const uint32_t end = ends_[at++];
        if (bool(end & kNull) != !cell)
            return false;
        const size_t to = end & ~kNull;
        if (cell && (cell->size() != to - from ||
                     std::memcmp(cell->data(), text_.data() + from, cell->size()) != 0))
            return false;
        from = to;
    }
    return true;
}

} // namespace appserver
