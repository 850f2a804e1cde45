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

    // The width a column gets until the member drags it.
    int measuredWidth(int column) const;

    // Sets every column's width: the member's where dragged, else the measured one.
    void apply();

private:
    void remember(int column, int oldWidth, int newWidth);

    QTableView *grid_;
    QList<Column> columns_;
    QList<int> dragged_; // 0: not dragged
    bool applying_ = false;
};
