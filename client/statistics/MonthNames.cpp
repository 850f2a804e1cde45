#include "statistics/MonthNames.h"

namespace MonthNames {
const QStringList &all() {
    static const QStringList names = {"一月", "二月", "三月", "四月", "五月",   "六月",
                                      "七月", "八月", "九月", "十月", "十一月", "十二月"};
    return names;
}
} // namespace MonthNames
