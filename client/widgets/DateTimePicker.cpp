#include "widgets/DateTimePicker.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSpinBox>

DateTimePicker::DateTimePicker(const QDateTime &value, QWidget *parent)
    : QDateTimeEdit(value, parent) {
    setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    setCalendarPopup(true);
}

bool DateTimePicker::focusNextPrevChild(bool next) {
    // QDateTimeEdit spends Tab on its six sections; here Tab leaves the picker.
    return QWidget::focusNextPrevChild(next);
}

void DateTimePicker::openCalendar() {
    if (!isEnabled() || isReadOnly())
        return;
    // Qt opens the calendar only for a press on the drop-down arrow.
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QRect arrow =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    const QPointF at = arrow.isEmpty() ? QPointF(width() - 4, height() / 2) : arrow.center();
    QMouseEvent press(QEvent::MouseButtonPress, at, mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(this, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(this, &release);
}

void DateTimePicker::keyPressEvent(QKeyEvent *event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    const int key = event->key();
    if (key == Qt::Key_F4 || (alt && (key == Qt::Key_Down || key == Qt::Key_Up))) {
        // Without this Alt+Down would step the year back.
        openCalendar();
        event->accept();
        return;
    }
    QDateTimeEdit::keyPressEvent(event);
}
