#include "ChangedRows.h"

PDataPacket withChangedRows(const DataPacket &earlier, size_t keptFront, size_t keptBack,
                            const DataPacket &changed) {
    const size_t earlierRows = static_cast<size_t>(earlier.rowCount());
    if (changed.columns != earlier.columns || keptFront > earlierRows ||
        keptBack > earlierRows - keptFront)
        return nullptr;
    const size_t width = static_cast<size_t>(earlier.columnCount());
    auto packet = std::make_shared<DataPacket>();
    packet->columns = earlier.columns;
    packet->cells.reserve(earlier.cells.size() - (keptFront + keptBack) * width +
                          changed.cells.size());
    const auto front = earlier.cells.begin() + static_cast<std::ptrdiff_t>(keptFront * width);
    const auto back = earlier.cells.end() - static_cast<std::ptrdiff_t>(keptBack * width);
    packet->cells.insert(packet->cells.end(), earlier.cells.begin(), front);
    packet->cells.insert(packet->cells.end(), changed.cells.begin(), changed.cells.end());
    packet->cells.insert(packet->cells.end(), back, earlier.cells.end());
    return packet;
}
