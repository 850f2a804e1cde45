#pragma once
// Draws cells as usual; a cell too narrow for its text shows the whole text
// in a tooltip.

#include <QStyledItemDelegate>

class CutTextTips : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether the cell's text is wider than the room the cell gives it.
    static bool isCut(const QStyleOptionViewItem &option, const QString &text);

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
};
