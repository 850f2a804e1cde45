#pragma once
// How a task grid looks, in the main window and in the project window: the
// ten columns' titles and widths, and each row coloured by the task's state
// and required time for the members it concerns.

#include <QColor>
#include <QDateTime>
#include <QString>

#include <functional>

class QTableView;
class RecordSet;
class RecordSetModel;

namespace TaskGrid {

inline const QColor kMainNeutral{0xFA, 0xFA, 0xFA};
inline const QColor kProjectNeutral{0xFF, 0xFF, 0xFF};

// The colour of a task for a member: a task concerns the member when the
// display name occurs in its related persons. An open task whose required
// time cannot be read counts as not yet due.
QColor rowColour(const QString &state, const QString &dueTime, const QString &relatedPersons,
                 const QString &memberName, const QDateTime &now, const QColor &neutral);

// Titles, widths (from the grid's font, the member may widen them) and row colours for a grid
// showing whole Task rows.
void style(QTableView *grid, RecordSetModel *model, std::function<QString()> memberName,
           const QColor &neutral);

} // namespace TaskGrid
