#pragma once
// The rows a query returned, as they came from the server: column names in
// select order and the cells row after row. Shared, never changed once built.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct DataPacket {
    QStringList columns;
    std::vector<QString> cells; // row-major, columns.size() per row; NULL reads as empty

    int columnCount() const { return static_cast<int>(columns.size()); }
    int rowCount() const {
        return columns.isEmpty() ? 0 : static_cast<int>(cells.size() / columns.size());
    }
    const QString &cell(int row, int column) const {
        return cells[static_cast<size_t>(row) * columns.size() + column];
    }
};

// A query's result; null is the empty result of a failed call.
using PDataPacket = std::shared_ptr<const DataPacket>;
