#include "ProgressSheet.h"

#include "RecordSet.h"
#include "SqlValues.h"
#include "TimeText.h"

#include <QHeaderView>

const QStringList &ProgressSheet::roster() {
    static const QStringList names = {"Halvic", "Kestra", "Aldren", "Berric", "Fennick", "Gessa",
                                      "Elsken", "Dorvan", "Calwen", "Ivrel",  "Jorun"};
    return names;
}

ProgressSheet::ProgressSheet(QWidget *parent) : QTableWidget(kRows, kColumns, parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(20);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setColumnWidth(0, 105);
    for (int column = 1; column < kColumns; ++column)
        setColumnWidth(column, 46);
    clearToTitles();
}

void ProgressSheet::clearToTitles() {
    const QBrush titleCell = palette().button();
    for (int row = 0; row < kRows; ++row)
        for (int column = 0; column < kColumns; ++column) {
            auto *cell = new QTableWidgetItem;
            if (row == 0 || column == 0)
                cell->setBackground(titleCell);
            setItem(row, column, cell);
        }
    item(0, 0)->setText(QStringLiteral("   任务名/经办人"));
    for (int column = 1; column < kColumns; ++column)
        item(0, column)->setText(roster().at(column - 1));
}

QString ProgressSheet::stateWord(const QString &state, const QString &dueTime,
                                 const QDateTime &now) {
    const QString flag = SqlValues::trimmed(state);
    if (flag == QLatin1String("1") || flag == QLatin1String("2"))
        return QStringLiteral("已完成");
    const QDateTime due = TimeText::parse(dueTime);
    if (!due.isValid() || due > TimeText::minuteOf(now))
        return QStringLiteral("未完成");
    return QStringLiteral("延误中");
}

void ProgressSheet::fill(const RecordSet &tasks, const QDateTime &now) {
    const int content = tasks.fieldIndex(QStringLiteral("TaskContent"));
    const int performer = tasks.fieldIndex(QStringLiteral("TaskPerformer"));
    const int due = tasks.fieldIndex(QStringLiteral("TaskCompleteTime"));
    const int state = tasks.fieldIndex(QStringLiteral("TaskCompleteFlag"));
    if (content < 0 || performer < 0 || due < 0 || state < 0)
        return;
    for (int task = 0; task < tasks.recordCount() && task + 1 < kRows; ++task) {
        const int row = task + 1;
        item(row, 0)->setText(SqlValues::trimmed(tasks.value(task, content)));
        const QString who = SqlValues::trimmed(tasks.value(task, performer));
        const QString word = stateWord(tasks.value(task, state), tasks.value(task, due), now);
        for (int column = 1; column < kColumns; ++column)
            if (who.contains(roster().at(column - 1)))
                item(row, column)->setText(word);
    }
}

QString ProgressSheet::textAt(int row, int column) const {
    const QTableWidgetItem *cell = item(row, column);
    return cell ? cell->text() : QString();
}
