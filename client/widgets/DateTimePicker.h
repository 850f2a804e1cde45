#pragma once
// A date-time picker in the form "yyyy-MM-dd HH:mm:ss" with a calendar: one
// Tab stop, whatever section the cursor is in (the arrow keys move between
// its sections). Alt+Down, Alt+Up and F4 open the calendar, as they open a
// drop-down list, and change nothing by themselves.

#include <QDateTimeEdit>

class DateTimePicker : public QDateTimeEdit {
    Q_OBJECT
public:
    explicit DateTimePicker(const QDateTime &value, QWidget *parent = nullptr);

    void openCalendar();

protected:
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent *event) override;
};
