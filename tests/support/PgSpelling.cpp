#include "support/PgSpelling.h"

#include "statements/ClientTables.h"

#include <QHash>

namespace {

// The known names by their lower-case form.
QHash<QString, QString> knownNames() {
    QHash<QString, QString> names;
    for (const auto &table : appserver::kClientTableColumns) {
        names.insert(QString(table.name).toLower(), table.name);
        for (const char *column : table.columns)
            if (column)
                names.insert(QString(column).toLower(), column);
    }
    names.insert("taskaway", "TaskAway"); // a table a test renames Task to
    return names;
}

bool isNameCharacter(QChar c) {
    return c.isLetterOrNumber() || c == '_';
}

} // namespace

QString inPostgresSpelling(const QString &sql) {
    static const QHash<QString, QString> names = knownNames();
    QString out;
    int i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        if (c == '\'') { // a literal, with '' inside it, goes as it is
            int end = i + 1;
            while (end < sql.size() &&
                   !(sql[end] == '\'' && (end + 1 >= sql.size() || sql[end + 1] != '\'')))
                end += sql[end] == '\'' ? 2 : 1;
            out += sql.mid(i, end + 1 - i);
            i = end + 1;
        } else if (isNameCharacter(c) && !c.isDigit()) {
            int end = i;
            while (end < sql.size() && isNameCharacter(sql[end]))
                ++end;
            const QString word = sql.mid(i, end - i);
            const QString lower = word.toLower();
            if (lower == "rowid")
                out += "ctid";
            else if (names.contains(lower))
                out += '"' + names.value(lower) + '"';
            else
                out += word;
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}
