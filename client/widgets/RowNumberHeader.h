#pragma once

#include <QHash>
#include <QHeaderView>

// The row-number column of a grid. Qt measures two hundred row numbers each
// time the rows are replaced, to size the column; numbers of as many digits
// are as wide, so this header measures one number per length and keeps it.
class RowNumberHeader : public QHeaderView {
public:
    explicit RowNumberHeader(QWidget *parent = nullptr);

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;
    void changeEvent(QEvent *event) override;

private:
    mutable QHash<qsizetype, QSize> sizeByLength_;
};
