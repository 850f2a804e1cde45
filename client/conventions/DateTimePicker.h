#pragma once
// A date-time picker in the form "yyyy-MM-dd HH:mm:ss" with a calendar: one
// Tab stop, whatever section the cursor is in (the arrow keys move between
// its sections).

#include <QDateTimeEdit>

class DateTimePicker : public QDateTimeEdit {
    Q_OBJECT
public:
    explicit DateTimePicker(const QDateTime &value, QWidget *parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
};
