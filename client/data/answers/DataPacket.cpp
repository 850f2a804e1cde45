#include "data/answers/DataPacket.h"

#include <algorithm>

int DataPacket::columnIndex(const QString &name) const {
    for (int i = 0; i < columnCount(); ++i)
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const QString &DataPacket::sharedCell(int row, int column) const {
    // The run ends rise, one per run: the row's run is found by halving.
    Q_ASSERT(runEnds.size() == runs.size() && std::is_sorted(runEnds.begin(), runEnds.end()));
    const auto end = std::upper_bound(runEnds.begin(), runEnds.end(), row);
    const size_t run = static_cast<size_t>(end - runEnds.begin());
    const int start = run ? runEnds[run - 1] : 0;
    return runs[run].holder->cell(runs[run].first + row - start, column);
}
