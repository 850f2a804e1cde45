#include "widgets/RowNumberHeader.h"

#include <QAbstractItemModel>
#include <QEvent>

RowNumberHeader::RowNumberHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent) {}

QSize RowNumberHeader::sectionSizeFromContents(int logicalIndex) const {
    if (!model())
        return QHeaderView::sectionSizeFromContents(logicalIndex);
    const qsizetype length =
        model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString().size();
    auto known = sizeByLength_.constFind(length);
    if (known == sizeByLength_.constEnd())
        known = sizeByLength_.insert(length, QHeaderView::sectionSizeFromContents(logicalIndex));
    return *known;
}

void RowNumberHeader::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        sizeByLength_.clear();
    QHeaderView::changeEvent(event);
}
