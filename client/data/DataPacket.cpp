#include "DataPacket.h"

#include <algorithm>

const QString &DataPacket::sharedCell(int row, int column) const {
    const auto end = std::upper_bound(runEnds.begin(), runEnds.end(), row);
    const size_t run = static_cast<size_t>(end - runEnds.begin());
    const int start = run ? runEnds[run - 1] : 0;
    return runs[run].holder->cell(runs[run].first + row - start, column);
}
