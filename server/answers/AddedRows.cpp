#include "answers/AddedRows.h"

#include "answers/JsonText.h"

#include <limits>

namespace appserver {

bool AddedRows::add(size_t place, const std::vector<CellView> &row) {
    if (!places_.empty() && place <= places_.back())
        return false; // places rise, one row each
    places_.push_back(place);
    appendJsonRow(text_, row);
    if (text_.size() > std::numeric_limits<uint32_t>::max())
        return false;
    ends_.push_back(static_cast<uint32_t>(text_.size()));
    if (cellsKept_ && !cells_.add(row, std::numeric_limits<uint32_t>::max() / 2))
        cellsKept_ = false;
    return true;
}

std::shared_ptr<const CachedAnswer> withAddedRows(const CachedAnswer &kept, const AddedRows &added,
                                                  std::string etag, size_t maxBytes,
                                                  size_t cellsUpTo) {
    const size_t rows = kept.rows() + added.rows();
    if (!added.places_.empty() && added.places_.back() >= rows)
        return nullptr;
    const size_t bytes = kept.json().size() + added.text_.size() + added.rows();
    if (bytes > maxBytes || bytes > std::numeric_limits<uint32_t>::max())
        return nullptr;
    const StoredCells *keptCells = kept.cells();
    bool keepCells = keptCells && added.cellsKept_ && cellsUpTo > 0;
    StoredCells cells;
    if (keepCells)
        cells.reserveLike(*keptCells);
    std::string json;
    json.reserve(bytes);
    json += kept.head();
    std::vector<uint32_t> rowStarts;
    rowStarts.reserve(rows);
    size_t next = 0, from = 0; // the next added row; the next kept row
    for (size_t place = 0; place < rows; ++place) {
        if (place)
            json += ',';
        rowStarts.push_back(static_cast<uint32_t>(json.size()));
        if (next < added.rows() && added.places_[next] == place) {
            const size_t begin = next ? added.ends_[next - 1] : 0;
            json.append(added.text_, begin, added.ends_[next] - begin);
            if (keepCells)
                keepCells = cells.addRowOf(added.cells_, next, cellsUpTo);
            ++next;
        } else {
            json += kept.row(from);
            if (keepCells)
                keepCells = cells.addRowOf(*keptCells, from, cellsUpTo);
            ++from;
        }
    }
    json += "]}";
    if (!keepCells)
        cells = {};
    return std::make_shared<const CachedAnswer>(std::move(etag), std::move(json),
                                                std::move(rowStarts), std::move(cells));
}

} // namespace appserver
