#pragma once
// The main window's 统计分析 tab: a staff member, a month and a year picked,
// the member's tasks of that month in a task grid, the month's counts, and
// a chart of the member's twelve months. One question to the server per pick
// (the member's year); a pick of another month of the same year asks it again
// and, while nothing changed, gets the answer it keeps.

#include "statistics/CountLabel.h"
#include "statistics/MemberYear.h"

#include <QList>
#include <QWidget>

#include <array>

class QButtonGroup;
class QLabel;
class QRadioButton;
class QSpinBox;
class QTableView;
class QVBoxLayout;
class MonthChart;
class RecordSet;
class RecordSetModel;

class StatisticsTab : public QWidget {
    Q_OBJECT
public:
    // The names listed until the department's members are read.
    static const QStringList &staffNames(); // "Aldren" to "Jorun"

    explicit StatisticsTab(QWidget *parent = nullptr);

    // What is picked: the staff member's display name (empty before a pick),
    // the month 1 to 12 and the year.
    QString pickedMember() const;
    int pickedMonth() const;
    int pickedYear() const;

    // What is shown; kept until the next pick.
    const MemberYear &shownYear() const { return year_; }
    const MonthCounts &shownCounts() const { return year_.counts(pickedMonth()); }

    // Lists the department's members (their display names, as the dispatch
    // window lists them); the picked member stays picked while listed.
    void setMembers(const QStringList &names);
    // Reads the department's members from the server; a failure leaves the list as it is.
    void readMembers();

    QList<QRadioButton *> staffButtons;
    std::array<QRadioButton *, 12> monthButtons{};
    QSpinBox *yearBox;
    // The six counts, in MonthCounts' order.
    std::array<CountLabel *, 6> countLabels;
    QTableView *taskGrid;
    RecordSet *taskRecords;
    MonthChart *chart;

public slots:
    // Asks the server for the picked member's year and shows the picked month.
    // Does nothing until a staff member is picked. An error is said in the
    // application's error box and leaves zeros and an empty grid.
    void refresh();

protected:
    void showEvent(QShowEvent *event) override; // the members are read again

private:
    void showMonth();

    QButtonGroup *staff_, *months_;
    QVBoxLayout *staffColumn_;
    RecordSetModel *taskModel_;
    MemberYear year_;
    QString yearMember_; // whose year_ is
    QDate countedOn_;    // the day year_ was counted on
};
