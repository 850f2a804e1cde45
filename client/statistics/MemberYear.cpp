#include "statistics/MemberYear.h"

#include "data/statements/SqlValues.h"
#include "data/statements/TimeText.h"

namespace {
enum Column {
    kPerformer = 3,
    kCreateTime = 4,
    kDueTime = 5,
    kState = 6,
    kNoticedTime = 10,  // the agreement's notice: the dating of agreements before the journal
    kJournalledTime = 11 // the agreement as the server's journal keeps it
};
} // namespace

bool MonthCounts::operator==(const MonthCounts &o) const {
    return dispatched == o.dispatched && claimed == o.claimed && applied == o.applied &&
           completed == o.completed && completedLate == o.completedLate &&
           openPastDue == o.openPastDue;
}

MemberYear::MemberYear(PDataPacket answer, const QDateTime &now) : answer_(std::move(answer)) {
    if (!answer_ || answer_->columnCount() <= kNoticedTime)
        return;
    const QDateTime today = TimeText::startOfDay(now);
    for (int row = 0; row < answer_->rowCount(); ++row) {
        const QDateTime created = TimeText::parse(answer_->cell(row, kCreateTime));
        if (!created.isValid())
            continue;
        const int month = created.date().month();
        rows_[month - 1].push_back(row);
        MonthCounts &counts = counts_[month - 1];
        ++counts.dispatched;
        if (!SqlValues::trimmed(answer_->cell(row, kPerformer)).isEmpty())
            ++counts.claimed;
        const QString state = SqlValues::trimmed(answer_->cell(row, kState));
        const QDateTime due = TimeText::parse(answer_->cell(row, kDueTime));
        if (state == QLatin1String("1")) {
            ++counts.applied;
        } else if (state == QLatin1String("2")) {
            ++counts.completed;
            const QString journalled = answer_->columnCount() > kJournalledTime
                                           ? answer_->cell(row, kJournalledTime)
                                           : QString();
            const QDateTime agreed = TimeText::parse(
                journalled.isEmpty() ? answer_->cell(row, kNoticedTime) : journalled);
            if (due.isValid() && agreed.isValid() && agreed > due)
                ++counts.completedLate;
        } else if (state == QLatin1String("0") && due.isValid() && due <= today) {
            ++counts.openPastDue;
        }
    }
}

PDataPacket MemberYear::tasksOf(int month) const {
    auto tasks = std::make_shared<DataPacket>();
    // The grid keeps its columns also for a month without tasks.
    tasks->columns = QStringList{
        "TaskId",           "TaskContent",      "TaskDemander", "TaskPerformer", "TaskCreateTime",
        "TaskCompleteTime", "TaskCompleteFlag", "TaskList",     "TaskReadTime",  "TaskCCList"};
    if (!answer_ || answer_->columnCount() <= kNoticedTime)
        return tasks;
    const std::vector<int> &rows = rows_[month - 1];
    tasks->cells.reserve(rows.size() * kTaskColumns);
    for (int row : rows)
        for (int column = 0; column < kTaskColumns; ++column)
            tasks->cells.push_back(answer_->cell(row, column));
    return tasks;
}
