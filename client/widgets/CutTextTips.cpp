#include "widgets/CutTextTips.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

bool CutTextTips::isCut(const QStyleOptionViewItem &option, const QString &text) {
    const QWidget *widget = option.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    // The style's text margin, on both sides of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return option.fontMetrics.horizontalAdvance(text) + 2 * margin > option.rect.width();
}

bool CutTextTips::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                            const QStyleOptionViewItem &option, const QModelIndex &index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QVariant tip = index.data(Qt::ToolTipRole);
    if (tip.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if (text.isEmpty() || !isCut(cell, text)) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    return true;
}
