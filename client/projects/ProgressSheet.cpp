#include "projects/ProgressSheet.h"

#include "data/records/RecordSet.h"
#include "data/statements/SqlValues.h"
#include "data/statements/TimeText.h"
#include "widgets/CutTextTips.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStyle>

#include <algorithm>

// The sheet's texts, changed as a whole and shown in one repaint.
class ProgressSheet::Cells : public QAbstractTableModel {
public:
    Cells(QBrush titleBackground, QObject *parent)
        : QAbstractTableModel(parent), titleBackground_(std::move(titleBackground)) {
        text_[0][0] = QStringLiteral("   任务名/经办人");
        for (int column = 1; column < kColumns; ++column)
            text_[0][column] = roster().at(column - 1);
    }
    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : kRows;
    }
    int columnCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : kColumns;
    }
    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return text_[index.row()][index.column()];
        if (role == Qt::BackgroundRole && (index.row() == 0 || index.column() == 0))
            return titleBackground_;
        return {};
    }
    QString &at(int row, int column) { return text_[row][column]; }
    void clearTasks() {
        for (int row = 1; row < kRows; ++row)
            for (QString &text : text_[row])
                text.clear();
    }
    void changed() { emit dataChanged(index(0, 0), index(kRows - 1, kColumns - 1)); }

private:
    std::array<std::array<QString, kColumns>, kRows> text_;
    QBrush titleBackground_;
};

const QStringList &ProgressSheet::roster() {
    static const QStringList names = {"Halvic", "Kestra", "Aldren", "Berric", "Fennick", "Gessa",
                                      "Elsken", "Dorvan", "Calwen", "Ivrel",  "Jorun"};
    return names;
}

ProgressSheet::ProgressSheet(QWidget *parent) : QTableView(parent) {
    cells_ = new Cells(palette().button(), this);
    setModel(cells_);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(20);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setItemDelegate(new CutTextTips(this));
    setTabKeyNavigation(false); // one Tab stop
    // Whole names and state words in this font; a long task text shows whole in its tooltip.
    const QFontMetrics metrics = fontMetrics();
    const int padding =
        2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 4;
    setColumnWidth(0, qMax(105, metrics.horizontalAdvance(cells_->at(0, 0)) + padding));
    int stateWidth = 0;
    for (const char *word : {"已完成", "未完成", "延误中"})
        stateWidth = qMax(stateWidth, metrics.horizontalAdvance(QString::fromUtf8(word)));
    for (int column = 1; column < kColumns; ++column)
        setColumnWidth(column,
                       std::max({46, stateWidth + padding,
                                 metrics.horizontalAdvance(roster().at(column - 1)) + padding}));
}

void ProgressSheet::clearToTitles() {
    cells_->clearTasks();
    cells_->changed();
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
        cells_->at(row, 0) = SqlValues::trimmed(tasks.value(task, content));
        const QString who = SqlValues::trimmed(tasks.value(task, performer));
        const QString word = stateWord(tasks.value(task, state), tasks.value(task, due), now);
        for (int column = 1; column < kColumns; ++column)
            if (who.contains(roster().at(column - 1)))
                cells_->at(row, column) = word;
    }
    cells_->changed();
}

QString ProgressSheet::textAt(int row, int column) const {
    return cells_->data(cells_->index(row, column), Qt::DisplayRole).toString();
}
