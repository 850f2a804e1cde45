#include "data/answers/ChangedRows.h"

namespace {

// Past this many runs a rebuilt packet copies its cells into one again, so
// that a cell is found in a few steps and rows long gone are let go.
constexpr size_t kMostRuns = 8;

using Run = DataPacket::Run;

// Rows [from, from + count) of packet, as runs of packets holding their cells.
void appendRows(std::vector<Run> &runs, const PDataPacket &packet, int from, int count) {
    if (count <= 0)
        return;
    Q_ASSERT(from >= 0 && from + count <= packet->rowCount());
    if (packet->runs.empty()) {
        Run *last = runs.empty() ? nullptr : &runs.back();
        if (last && last->holder == packet && last->first + last->count == from)
            last->count += count;
        else
            runs.push_back({packet, from, count});
        return;
    }
    int start = 0;
    for (const Run &run : packet->runs) {
        const int begin = std::max(from, start), end = std::min(from + count, start + run.count);
        if (begin < end)
            appendRows(runs, run.holder, run.first + begin - start, end - begin);
        start += run.count;
    }
}

PDataPacket copied(const QStringList &columns, const std::vector<Run> &runs) {
    auto packet = std::make_shared<DataPacket>();
    packet->columns = columns;
    const size_t width = static_cast<size_t>(columns.size());
    size_t rows = 0;
    for (const Run &run : runs)
        rows += static_cast<size_t>(run.count);
    packet->cells.reserve(rows * width);
    if (width == 0)
        packet->rowsWithoutCells = static_cast<int>(rows);
    for (const Run &run : runs) {
        Q_ASSERT(run.holder->runs.empty()); // runs point only at packets that hold their cells
        const auto from =
            run.holder->cells.begin() + static_cast<std::ptrdiff_t>(run.first * width);
        packet->cells.insert(packet->cells.end(), from,
                             from + static_cast<std::ptrdiff_t>(run.count * width));
    }
    return packet;
}

} // namespace

PDataPacket withChangedRows(const PDataPacket &earlier, size_t keptFront, size_t keptBack,
                            const PDataPacket &changed) {
    const size_t earlierRows = static_cast<size_t>(earlier->rowCount());
    if (changed->columns != earlier->columns || keptFront > earlierRows ||
        keptBack > earlierRows - keptFront)
        return nullptr;
    std::vector<Run> runs;
    appendRows(runs, earlier, 0, static_cast<int>(keptFront));
    appendRows(runs, changed, 0, changed->rowCount());
    appendRows(runs, earlier, static_cast<int>(earlierRows - keptBack), static_cast<int>(keptBack));
    if (runs.empty() || runs.size() > kMostRuns || earlier->columns.isEmpty())
        return copied(earlier->columns, runs);
    if (runs.size() == 1 && runs.front().first == 0 &&
        runs.front().count == runs.front().holder->rowCount())
        return runs.front().holder;
    auto packet = std::make_shared<DataPacket>();
    packet->columns = earlier->columns;
    int end = 0;
    for (const Run &run : runs) {
        Q_ASSERT(run.count > 0 && run.holder->runs.empty()); // the ends rise
        packet->runEnds.push_back(end += run.count);
    }
    packet->runs = std::move(runs);
    return packet;
}
