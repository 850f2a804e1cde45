#include "widgets/KeptView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTableView>

KeptView::KeptView(QTableView *grid, QList<int> keyColumns)
    : grid_(grid), keyColumns_(std::move(keyColumns)) {
    const QModelIndex current = grid_->currentIndex();
    const bool selected = current.isValid() && grid_->selectionModel() &&
                          grid_->selectionModel()->isRowSelected(current.row(), QModelIndex());
    if (selected) {
        selectedRow_ = current.row();
        currentColumn_ = current.column();
        selectedKey_ = keyOf(selectedRow_);
    }
    vertical_ = grid_->verticalScrollBar()->value();
    horizontal_ = grid_->horizontalScrollBar()->value();
    if (grid_->isSortingEnabled()) {
        sortColumn_ = grid_->horizontalHeader()->sortIndicatorSection();
        sortOrder_ = grid_->horizontalHeader()->sortIndicatorOrder();
    }
}

KeptView::~KeptView() {
    restore();
}

QStringList KeptView::keyOf(int row) const {
    QStringList key;
    const QAbstractItemModel *model = grid_->model();
    for (int column : keyColumns_)
        key << model->index(row, column).data(Qt::DisplayRole).toString();
    return key;
}

void KeptView::restore() {
    if (restored_)
        return;
    restored_ = true;
    if (sortColumn_ >= 0)
        grid_->sortByColumn(sortColumn_, sortOrder_);
    const QAbstractItemModel *model = grid_->model();
    if (!selectedKey_.isEmpty() && model) {
        // The row where it was first: most reloads move nothing.
        int found = -1;
        if (selectedRow_ < model->rowCount() && keyOf(selectedRow_) == selectedKey_)
            found = selectedRow_;
        for (int row = 0; found < 0 && row < model->rowCount(); ++row)
            if (keyOf(row) == selectedKey_)
                found = row;
        if (found >= 0)
            grid_->selectionModel()->setCurrentIndex(model->index(found, currentColumn_),
                                                     QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    }
    // After the selection, which may have scrolled to the row; the ranges of
    // the scroll bars follow the new rows only once they are laid out.
    grid_->doItemsLayout();
    grid_->verticalScrollBar()->setValue(vertical_);
    grid_->horizontalScrollBar()->setValue(horizontal_);
}
