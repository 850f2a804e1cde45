#pragma once
// The rows a query returned, as they came from the server: column names in
// select order and the cells row after row. Shared, never changed once built.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>
#include <vector>

struct DataPacket {
    QStringList columns;
    // Row-major, columns.size() per row; NULL reads as empty. Every packet
    // read from an answer holds its cells here.
    std::vector<QString> cells;
    // Rows of an answer without columns (SELECT FROM T): they hold no cells,
    // yet they are rows.
    int rowsWithoutCells = 0;

    // A packet rebuilt from an earlier one and the rows that changed since
    // shares their rows instead of copying each cell: runs of rows of packets
    // that hold their cells, in order. Empty for a packet that holds its own.
    struct Run {
        std::shared_ptr<const DataPacket> holder;
        int first = 0;
        int count = 0;
    };
    std::vector<Run> runs;
    std::vector<int> runEnds; // the row after each run

    int columnCount() const { return static_cast<int>(columns.size()); }
    int columnIndex(const QString &name) const; // letter case ignored; -1 when none
    int rowCount() const {
        if (!runs.empty())
            return runEnds.back();
        return columns.isEmpty() ? rowsWithoutCells
                                 : static_cast<int>(cells.size() / columns.size());
    }
    const QString &cell(int row, int column) const {
        Q_ASSERT(row >= 0 && row < rowCount() && column >= 0 && column < columnCount());
        if (runs.empty())
            return cells[static_cast<size_t>(row) * columns.size() + column];
        return sharedCell(row, column);
    }

private:
    const QString &sharedCell(int row, int column) const;
};

// A query's result; null is the empty result of a failed call.
using PDataPacket = std::shared_ptr<const DataPacket>;
