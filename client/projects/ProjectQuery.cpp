#include "ProjectQuery.h"

#include "SqlValues.h"

namespace ProjectQuery {

std::optional<QString> statementFor(const QString &condition) {
    using SqlValues::bareQuoted;
    const QString text = SqlValues::trimmed(condition);
    if (text.isEmpty())
        return QStringLiteral("Select * From Programe Order by ProCreateTime desc");
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
    const QString byPerformer = QStringLiteral("Select * From Programe Where ProPerformer like ") +
                                bareQuoted(QLatin1Char('%') + name + QLatin1Char('%'));
    const QString order = QStringLiteral(" order by ProCreateTime desc");
    // With both parts empty the performer pattern "%%" lists every project.
    if (noDate)
        return byPerformer + order;
    if (noName)
        return QStringLiteral("Select * From Programe where ProCreateTime >=") + bareQuoted(date) +
               order;
    return byPerformer + QStringLiteral(" and ProCreateTime >=") + bareQuoted(date) + order;
}

} // namespace ProjectQuery
