#include "tasks/TaskGrid.h"

#include "data/records/RecordSet.h"
#include "data/records/RecordSetModel.h"
#include "data/statements/SqlValues.h"
#include "data/statements/TimeText.h"
#include "seams/AppClock.h"
#include "widgets/GridColumns.h"

#include <QHeaderView>
#include <QTableView>

namespace TaskGrid {

namespace {
enum Column { kDueTime = 5, kState = 6, kRelatedPersons = 9 };

// Base widths, and what the number, the names and the times need whole.
QList<GridColumns::Column> columns() {
    const QString time = QStringLiteral("2026-12-01 09:00:00");
    const QString name = QStringLiteral("Fennick");
    return {{95, QStringLiteral("GD20261201001")},
            {90, {}},
            {60, name},
            {60, name},
            {105, time},
            {105, time},
            {75, {}},
            {92, {}},
            {105, time + QStringLiteral("--") + name},
            {75, {}}};
}
} // namespace

QColor rowColour(const QString &state, const QString &dueTime, const QString &relatedPersons,
                 const QString &memberName, const QDateTime &now, const QColor &neutral) {
    if (memberName.isEmpty() || !relatedPersons.contains(memberName))
        return neutral;
    const QString flag = SqlValues::trimmed(state);
    if (flag == QLatin1String("0")) {
        const QDateTime due = TimeText::parse(dueTime);
        if (!due.isValid() || due > TimeText::startOfDay(now))
            return QColor(0xC8, 0x64, 0x32);
        return QColor(0xFF, 0x32, 0x32);
    }
    if (flag == QLatin1String("1"))
        return QColor(0x64, 0xC8, 0x32);
    return QColor(0x32, 0x64, 0xC8);
}

void style(QTableView *grid, RecordSetModel *model, std::function<QString()> memberName,
           const QColor &neutral) {
    model->setTitles({"立项编号", "任务内容", "创建人员", "执行人员", "创建时间", "需求时间",
                      "完成状态", "完成情况", "阅看时间", "关联人员"});
    model->setRowBackground(
        [memberName, neutral](const RecordSet &tasks, int row) {
            if (tasks.fieldCount() <= kRelatedPersons)
                return neutral;
            return rowColour(tasks.value(row, kState), tasks.value(row, kDueTime),
                             tasks.value(row, kRelatedPersons), memberName(), AppClock::now(),
                             neutral);
        },
        [] { return AppClock::now().date().toJulianDay(); });
    new GridColumns(grid, columns());
    // Rows are told apart by their colours and texts, not by numbers; a
    // numbered header would measure every row's number at each reload.
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

} // namespace TaskGrid
