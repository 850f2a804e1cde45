#include "widgets/GridColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

namespace {

// The room a cell leaves around its text, and a little air.
int cellPadding(const QWidget *grid) {
    return 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 6;
}

int titlePadding(const QHeaderView *header) {
    return 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 6;
}

} // namespace

GridColumns::GridColumns(QTableView *grid, QList<Column> columns)
    : QObject(grid), grid_(grid), columns_(std::move(columns)), dragged_(columns_.size(), 0),
      measured_(columns_.size(), 0) {
    if (grid_->model())
        connect(grid_->model(), &QAbstractItemModel::modelReset, this, &GridColumns::apply);
    connect(grid_->horizontalHeader(), &QHeaderView::sectionResized, this, &GridColumns::remember);
    grid_->installEventFilter(this);
    apply();
}

bool GridColumns::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        measured_.fill(0);
    return QObject::eventFilter(watched, event);
}

// Measuring text takes time, and every reload of the rows sets the widths again.
int GridColumns::measuredWidth(int column) const {
    if (!measured_[column]) {
        const int width = measure(column);
        if (grid_->model() && column < grid_->model()->columnCount())
            measured_[column] = width; // with its title: final
        return width;
    }
    return measured_[column];
}

int GridColumns::measure(int column) const {
    const Column &wanted = columns_.at(column);
    int width = wanted.baseWidth;
    if (!wanted.sample.isEmpty())
        width =
            qMax(width, grid_->fontMetrics().horizontalAdvance(wanted.sample) + cellPadding(grid_));
    const QHeaderView *header = grid_->horizontalHeader();
    if (grid_->model() && column < grid_->model()->columnCount()) {
        const QString title = grid_->model()->headerData(column, Qt::Horizontal).toString();
        width = qMax(width, header->fontMetrics().horizontalAdvance(title) + titlePadding(header));
    }
    return width;
}

void GridColumns::apply() {
    applying_ = true;
    for (int column = 0; column < columns_.size(); ++column)
        grid_->setColumnWidth(column, dragged_[column] ? dragged_[column] : measuredWidth(column));
    applying_ = false;
}

void GridColumns::remember(int column, int, int newWidth) {
    // Only the member's drags: a reload resets the header, then apply() sets it again.
    if (applying_ || column < 0 || column >= columns_.size() || newWidth <= 0)
        return;
    if (grid_->model() && column >= grid_->model()->columnCount())
        return;
    dragged_[column] = newWidth;
}
