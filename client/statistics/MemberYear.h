#pragma once
// A staff member's year of tasks, month by month: which tasks each month holds
// and how they went. Read from the answer of Statements::memberYearTasks; a
// task belongs to the month it was created in.

#include "data/answers/DataPacket.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <vector>

struct MonthCounts {
    int dispatched = 0;    // every task of the month: performed or unclaimed and related
    int claimed = 0;       // with a performer
    int applied = 0;       // state "1"
    int completed = 0;     // state "2"
    int completedLate = 0; // completed, agreed later than the required time
    int openPastDue = 0;   // state "0", required time today at 00:00 or earlier

    int completedOnTime() const { return completed - completedLate; }
    int stillOpen() const { return dispatched - completed; }
    bool operator==(const MonthCounts &other) const;
};

class MemberYear {
public:
    static constexpr int kTaskColumns = 10; // the answer's last column is the agreement's time

    MemberYear() = default;
    // Counts tasks as of now. A required or agreement time that cannot be read
    // counts as not yet due, as the task grid paints it; a task whose creation
    // time cannot be read belongs to no month.
    MemberYear(PDataPacket answer, const QDateTime &now);

    const PDataPacket &answer() const { return answer_; }
    // month 1 to 12.
    const MonthCounts &counts(int month) const { return counts_[month - 1]; }
    // The month's tasks as whole Task rows, in the answer's order.
    PDataPacket tasksOf(int month) const;

private:
    PDataPacket answer_;
    std::array<MonthCounts, 12> counts_{};
    std::array<std::vector<int>, 12> rows_{};
};
