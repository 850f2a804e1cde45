#pragma once
// The department's business flow: thirteen steps, each with the text its
// chart node shows, the text a task of that step starts with, and the
// members who are by default related to such a task.

#include <QPoint>
#include <QString>
#include <QStringList>

#include <array>

namespace BusinessFlow {

struct Step {
    QStringList chartLines; // three lines
    QString taskText;       // two lines joined by "\n"; one empty line for the last step
    QString relatedPersons; // display names joined by "|"
    int column, row;        // the node's place in the chart (3 columns, 5 rows)
};

constexpr int kSteps = 13;
const std::array<Step, kSteps> &steps();

// The arrows of the chart, as (from, to) step indexes counted from 0.
const QList<QPair<int, int>> &arrows();

} // namespace BusinessFlow
