#include "answers/RowDelta.h"

#include <algorithm>

namespace appserver {
namespace {

// delta with later's rows between its front and back rows kept.
std::optional<RowDelta> between(const CachedAnswer &later, RowDelta delta) {
    const size_t from = delta.front, to = later.rows() - delta.back;
    delta.rows = to - from;
    size_t changedBytes = 0;
    for (size_t i = from; i < to; ++i)
        changedBytes += later.row(i).size() + 1;
    if (2 * changedBytes > later.json().size())
        return std::nullopt;
    delta.body.reserve(later.head().size() + changedBytes + 2);
    delta.body += later.head();
    for (size_t i = from; i < to; ++i) {
        if (i > from)
            delta.body += ',';
        delta.body += later.row(i);
    }
    delta.body += "]}";
    return delta;
}

} // namespace

std::optional<RowDelta> rowDelta(const CachedAnswer &earlier, const CachedAnswer &later) {
    if (earlier.head() != later.head())
        return std::nullopt;
    const size_t shared = std::min(earlier.rows(), later.rows());
    RowDelta delta;
    while (delta.front < shared && earlier.row(delta.front) == later.row(delta.front))
        ++delta.front;
    while (delta.front + delta.back < shared &&
           earlier.row(earlier.rows() - 1 - delta.back) == later.row(later.rows() - 1 - delta.back))
        ++delta.back;
    return between(later, std::move(delta));
}

std::optional<RowDelta> rowDeltaOfAdded(const CachedAnswer &later, const std::vector<size_t> &added) {
    if (added.empty() || added.back() >= later.rows())
        return std::nullopt;
    RowDelta delta;
    delta.front = added.front();
    delta.back = later.rows() - 1 - added.back();
    return between(later, std::move(delta));
}

} // namespace appserver
