#include "projects/ProjectQuery.h"

#include "data/statements/SqlValues.h"
#include "data/statements/Statements.h"

namespace ProjectQuery {

std::optional<QString> statementFor(const QString &condition) {
    const QString text = SqlValues::trimmed(condition);
    if (text.isEmpty())
        return Statements::allProjects();
    qsizetype separator = text.indexOf(QLatin1Char(','));
    if (separator < 0)
        separator = text.indexOf(QChar(0xFF0C));
    if (separator < 0)
        return std::nullopt;

    // Each part trimmed: "Kestra, 2026-12-01" compares the date, not " 2026-12-01".
    const QString name = SqlValues::trimmed(text.left(separator));
    const QString date = SqlValues::trimmed(text.mid(separator + 1));
    const bool noName = name.isEmpty();
    const bool noDate = date.isEmpty();
    // With both parts empty the performer pattern "%%" lists every project.
    if (noDate)
        return Statements::projectsOfPerformer(name);
    if (noName)
        return Statements::projectsCreatedSince(date);
    return Statements::projectsOfPerformerSince(name, date);
}

} // namespace ProjectQuery
