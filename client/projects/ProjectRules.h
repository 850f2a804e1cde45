#pragma once
// What a project's number, state and flow nodes mean.

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace ProjectRules {

// The three kinds, in the order the windows list them.
enum class Kind { Demand, NewProduct, Routine };
constexpr Kind kKinds[] = {Kind::Demand, Kind::NewProduct, Kind::Routine};
QString prefix(Kind kind);  // "GD", "KF", "SW"
QString caption(Kind kind); // "项目需求", "新品开发", "日常事务"
// The kind a number belongs to: "GD" anywhere in it, then "KF", letter case
// ignored; any other number is routine.
Kind kindOfNumber(const QString &number);

// What every number of one kind and day begins with: prefix and "yyyyMMdd";
// a three-digit sequence follows.
QString dayPrefix(Kind kind, const QDate &day);
// The number for a new project: the sequence is the count of that kind's
// numbers of the day plus one, unless that number is taken; then the next
// free one (999 is followed by 000). storedNumbers are the ids of the day.
QString nextNumber(Kind kind, const QDate &day, const QStringList &storedNumbers);

enum class State { OpenNotDue, OpenDue, Completed };
// "No" (letter case and surrounding blanks ignored) is open. An open project
// whose due time cannot be read counts as not yet due.
bool isOpen(const QString &completeFlag);
State state(const QString &completeFlag, const QString &dueTime, const QDateTime &now);
QColor colour(State state);

// Flow nodes: "text---name" entries joined by "|".
QStringList flowNodeLines(const QString &flowNodes);
QString withFlowNode(const QString &flowNodes, const QString &text, const QString &author);

} // namespace ProjectRules
