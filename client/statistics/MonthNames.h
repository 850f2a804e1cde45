#pragma once
// The months as the tab captions them.

#include <QStringList>

namespace MonthNames {
const QStringList &all(); // "一月" to "十二月"
inline QString name(int month) {
    return all().value(month - 1);
}
} // namespace MonthNames
