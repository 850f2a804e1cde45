#include "DateTimePicker.h"

DateTimePicker::DateTimePicker(const QDateTime &value, QWidget *parent)
    : QDateTimeEdit(value, parent) {
    setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    setCalendarPopup(true);
}

bool DateTimePicker::focusNextPrevChild(bool next) {
    // QDateTimeEdit spends Tab on its six sections; here Tab leaves the picker.
    return QWidget::focusNextPrevChild(next);
}
