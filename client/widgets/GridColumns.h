#pragma once
// The widths of a grid's columns, measured in the grid's own font: each column
// is as wide as its title and a sample of what it holds need, and never
// narrower than its base width. A width the member drags stays through every
// reload of the rows.

#include <QList>
#include <QObject>
#include <QString>

class QTableView;

class GridColumns : public QObject {
    Q_OBJECT
public:
    struct Column {
        int baseWidth;
        QString sample; // the widest text the column usually holds; may be empty
    };

    GridColumns(QTableView *grid, QList<Column> columns);

    // The width a column gets until the member drags it; measured once per font.
    int measuredWidth(int column) const;

    // Sets every column's width: the member's where dragged, else the measured one.
    void apply();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void remember(int column, int oldWidth, int newWidth);
    int measure(int column) const;

    QTableView *grid_;
    QList<Column> columns_;
    QList<int> dragged_;          // 0: not dragged
    mutable QList<int> measured_; // 0: not measured yet (or not with its title)
    bool applying_ = false;
};
