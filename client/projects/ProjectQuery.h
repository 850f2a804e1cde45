#pragma once
// The project query tab's condition: "name," lists the projects whose
// performers contain the name, ",date" those created at or after the date,
// "name,date" both, nothing at all every project. "，" separates like ",",
// but the first ASCII comma wins when both are present. Blanks around either
// part are dropped.

#include <QString>

#include <optional>

namespace ProjectQuery {

// The statement for a condition, or nothing when the condition holds no
// comma (the grid keeps its rows).
std::optional<QString> statementFor(const QString &condition);

} // namespace ProjectQuery
