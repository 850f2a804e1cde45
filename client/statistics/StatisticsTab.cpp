#include "statistics/StatisticsTab.h"

#include "data/DataAccess.h"
#include "data/records/RecordSet.h"
#include "data/records/RecordSetModel.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "statistics/CountLabel.h"
#include "statistics/MonthChart.h"
#include "statistics/MonthNames.h"
#include "tasks/TaskGrid.h"
#include "widgets/WindowConventions.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const char *const kCountCaptions[] = {"派发任务：", "已领取：",   "已申请完成：",
                                      "已完成：",   "超期完成：", "超期未完成："};

int countAt(const MonthCounts &c, int index) {
    const int values[] = {c.dispatched, c.claimed,       c.applied,
                          c.completed,  c.completedLate, c.openPastDue};
    return values[index];
}

} // namespace

const QStringList &StatisticsTab::staffNames() {
    static const QStringList names = {"Aldren",  "Berric", "Calwen", "Dorvan", "Elsken",
                                      "Fennick", "Gessa",  "Halvic", "Ivrel",  "Jorun"};
    return names;
}

StatisticsTab::StatisticsTab(QWidget *parent) : QWidget(parent) {
    auto *people = new QGroupBox(this);
    people->setAccessibleName(QStringLiteral("人员"));
    auto *peopleColumn = new QVBoxLayout(people);
    staffColumn_ = new QVBoxLayout;
    peopleColumn->addLayout(staffColumn_);
    peopleColumn->addStretch();
    staff_ = new QButtonGroup(this);
    setMembers(staffNames());

    auto *monthBox = new QGroupBox(this);
    monthBox->setAccessibleName(QStringLiteral("月份"));
    auto *monthRow = new QHBoxLayout(monthBox);
    months_ = new QButtonGroup(this);
    for (int m = 1; m <= 12; ++m) {
        monthButtons[m - 1] = new QRadioButton(MonthNames::name(m), monthBox);
        months_->addButton(monthButtons[m - 1], m);
        monthRow->addWidget(monthButtons[m - 1]);
    }
    monthRow->addStretch();
    yearBox = new QSpinBox(monthBox);
    const QDate today = AppClock::now().date();
    yearBox->setRange(2000, today.year() + 1);
    yearBox->setValue(today.year());
    yearBox->setSuffix(QStringLiteral(" 年"));
    yearBox->setKeyboardTracking(false); // one question per year typed, not per digit
    yearBox->setAccessibleName(QStringLiteral("年份"));
    monthRow->addWidget(yearBox);
    // Until the member picks one, this month.
    monthButtons[today.month() - 1]->setChecked(true);
    WindowConventions::keepTabStopOnChecked(staff_);
    WindowConventions::keepTabStopOnChecked(months_);

    auto *countBox = new QWidget(this);
    auto *countGrid = new QGridLayout(countBox);
    countGrid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 6; ++i) {
        auto *caption = new QLabel(QString::fromUtf8(kCountCaptions[i]), countBox);
        countLabels[i] = new CountLabel(caption->text().chopped(1), countBox);
        caption->setBuddy(countLabels[i]);
        countGrid->addWidget(caption, i, 0, Qt::AlignRight);
        countGrid->addWidget(countLabels[i], i, 1);
    }
    countGrid->setRowStretch(6, 1);

    chart = new MonthChart(this);
    chart->setMinimumSize(320, 160);
    auto *figures = new QWidget(this);
    auto *figureRow = new QHBoxLayout(figures);
    figureRow->setContentsMargins(0, 0, 0, 0);
    figureRow->addWidget(countBox);
    figureRow->addWidget(chart, 1);

    taskRecords = new RecordSet(this);
    taskModel_ = new RecordSetModel(taskRecords, this);
    taskGrid = WindowConventions::recordGrid(this, taskModel_, QRect());
    TaskGrid::style(
        taskGrid, taskModel_, [this] { return pickedMember(); }, TaskGrid::kMainNeutral);
    taskGrid->setAccessibleName(QStringLiteral("当月任务"));

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(figures);
    split->addWidget(taskGrid);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);

    auto *right = new QVBoxLayout;
    right->addWidget(monthBox);
    right->addWidget(split, 1);
    auto *whole = new QHBoxLayout(this);
    whole->setContentsMargins(3, 3, 3, 3);
    whole->addWidget(people);
    whole->addLayout(right, 1);

    taskRecords->load(year_.tasksOf(pickedMonth()));
    connect(staff_, &QButtonGroup::idClicked, this, &StatisticsTab::refresh);
    connect(months_, &QButtonGroup::idClicked, this, &StatisticsTab::refresh);
    connect(yearBox, &QSpinBox::valueChanged, this, &StatisticsTab::refresh);
    connect(chart, &MonthChart::monthClicked, this, [this](int month) {
        monthButtons[month - 1]->setChecked(true);
        refresh();
    });
}

void StatisticsTab::setMembers(const QStringList &names) {
    const QString picked = pickedMember();
    QStringList listed;
    for (const QRadioButton *button : staffButtons)
        listed << button->property("member").toString();
    if (names.isEmpty() || listed == names)
        return;
    // The buttons there are keep their place in the Tab order (and the focus)
    // and take the new names; a new widget would join the end of the window's
    // Tab order, so a button added goes in after the one above it.
    while (staffButtons.size() > names.size())
        delete staffButtons.takeLast();
    QWidget *people = staffColumn_->parentWidget();
    for (qsizetype i = staffButtons.size(); i < names.size(); ++i) {
        auto *button = new QRadioButton(people);
        staff_->addButton(button, int(i));
        staffColumn_->addWidget(button);
        if (i > 0)
            setTabOrder(staffButtons.last(), button);
        staffButtons << button;
        button->show(); // now, not once the layout has run: a Tab may come first
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        // An "&" in a name is shown, not taken for an Alt letter.
        staffButtons[i]->setText(QString(names[i]).replace(QLatin1Char('&'), QLatin1String("&&")));
        staffButtons[i]->setProperty("member", names[i]);
    }
    // The picked member stays picked where the name went; one no longer
    // listed leaves nobody picked.
    if (const qsizetype at = names.indexOf(picked); !picked.isEmpty() && at >= 0) {
        staffButtons[at]->setChecked(true);
    } else if (QAbstractButton *checked = staff_->checkedButton()) {
        staff_->setExclusive(false);
        checked->setChecked(false);
        staff_->setExclusive(true);
    }
    WindowConventions::placeTabStop(staff_);
}

void StatisticsTab::readMembers() {
    const QueryResult answer = DataAccess::selectDisplayNames();
    if (!answer.ok())
        return; // the list shown stays; a pick says what went wrong
    RecordSet members;
    members.load(answer.rows());
    QStringList names;
    for (int row = 0; row < members.recordCount(); ++row) {
        const QString name = members.value(row, 0).trimmed();
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    if (!names.isEmpty())
        setMembers(names);
}

void StatisticsTab::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!event->spontaneous() && DataAccess::gateway())
        readMembers();
}

QString StatisticsTab::pickedMember() const {
    const QAbstractButton *picked = staff_->checkedButton();
    return picked ? picked->property("member").toString() : QString();
}

int StatisticsTab::pickedMonth() const {
    return months_->checkedId();
}

int StatisticsTab::pickedYear() const {
    return yearBox->value();
}

void StatisticsTab::refresh() {
    const QString member = pickedMember();
    if (member.isEmpty())
        return;
    const QueryResult asked = DataAccess::selectMemberYearTasks(member, pickedYear());
    if (!asked.ok()) {
        year_ = MemberYear();
        showMonth();
        Dialogs::showError(asked.failure().text());
        return;
    }
    const PDataPacket &answer = asked.rows();
    // The kept answer comes back as the very packet: counted already, unless
    // the day moved on (open tasks fall due at midnight).
    const QDateTime now = AppClock::now();
    if (answer != year_.answer() || member != yearMember_ || now.date() != countedOn_)
        year_ = MemberYear(answer, now);
    yearMember_ = member;
    countedOn_ = now.date();
    showMonth();
}

void StatisticsTab::showMonth() {
    const int month = pickedMonth();
    const MonthCounts &counts = year_.counts(month);
    for (int i = 0; i < 6; ++i)
        countLabels[i]->setCount(countAt(counts, i));
    taskRecords->load(year_.tasksOf(month));
    chart->showYear(year_, pickedMember(), pickedYear(), month);
}
