#pragma once
// The project window's progress sheet: one row per task (the first 19, oldest
// first), one column per staff member of the department, and in a member's
// column the state of the task the member claimed. Row 0 and column 0 are
// titles.

#include <QDateTime>
#include <QTableView>

#include <array>

class RecordSet;

class ProgressSheet : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRows = 20, kColumns = 12;
    static const QStringList &roster(); // the eleven staff columns

    explicit ProgressSheet(QWidget *parent = nullptr);

    // Empties every cell but the titles.
    void clearToTitles();
    // Fills the task rows from whole Task rows.
    void fill(const RecordSet &tasks, const QDateTime &now);

    // "已完成" (applied or completed), "未完成" (not yet due) or "延误中".
    // A required time that cannot be read counts as not yet due.
    static QString stateWord(const QString &state, const QString &dueTime, const QDateTime &now);

    QString textAt(int row, int column) const;

private:
    class Cells;
    Cells *cells_;
};
