#pragma once
// Keeps what a grid shows through a reload of its rows: the selected row
// (found again by its key columns, wherever it moved), the scroll position
// and the sort. Taken when made, given back when destroyed:
//
//     { KeptView kept(grid, {0}); records->load(...); }

#include <QList>
#include <QString>
#include <QStringList>

class QTableView;

class KeptView {
public:
    KeptView(QTableView *grid, QList<int> keyColumns);
    ~KeptView();
    KeptView(const KeptView &) = delete;
    KeptView &operator=(const KeptView &) = delete;

    void restore();

private:
    QStringList keyOf(int row) const;

    QTableView *grid_;
    QList<int> keyColumns_;
    QStringList selectedKey_; // empty: no row was selected
    int selectedRow_ = -1, currentColumn_ = 0;
    int vertical_ = 0, horizontal_ = 0;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    bool restored_ = false;
};
