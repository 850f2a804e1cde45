#include "data/ReadBack.h"

#include "data/DataAccess.h"
#include "data/records/RecordRows.h"
#include "data/records/RecordSet.h"
#include "data/statements/SqlValues.h"

namespace ReadBack {

bool same(const Project &a, const Project &b) {
    const Project x = RecordRows::trimmed(a), y = RecordRows::trimmed(b);
    return x.id == y.id && x.source == y.source && x.aim == y.aim && x.content == y.content &&
           x.creator == y.creator && x.performers == y.performers && x.createTime == y.createTime &&
           x.dueTime == y.dueTime && x.completeFlag == y.completeFlag &&
           x.taskCount == y.taskCount && x.flowNodes == y.flowNodes;
}

bool same(const Task &a, const Task &b) {
    const Task x = RecordRows::trimmed(a), y = RecordRows::trimmed(b);
    return x.projectId == y.projectId && x.content == y.content && x.dispatcher == y.dispatcher &&
           x.performer == y.performer && x.createTime == y.createTime && x.dueTime == y.dueTime &&
           x.state == y.state && x.completionNote == y.completionNote &&
           x.readReceipt == y.readReceipt && x.relatedPersons == y.relatedPersons;
}

namespace {

// Whether a row of the answer satisfies found.
template <class Found> Stored findIn(const QueryResult &answer, Found found) {
    if (!answer.ok())
        return Stored::Unknown;
    RecordSet rows;
    rows.load(answer.rows());
    for (int row = 0; row < rows.recordCount(); ++row)
        if (found(rows, row))
            return Stored::Yes;
    return Stored::No;
}

} // namespace

Stored project(const Project &wanted) {
    return findIn(DataAccess::selectProject(wanted.id), [&](const RecordSet &rows, int row) {
        return same(RecordRows::projectAt(rows, row), wanted);
    });
}

Stored projectGone(const QString &projectId) {
    const QString id = SqlValues::trimmed(projectId);
    const Stored found =
        findIn(DataAccess::selectProject(id), [&](const RecordSet &rows, int row) {
            return SqlValues::trimmed(RecordRows::projectAt(rows, row).id) == id;
        });
    switch (found) {
    case Stored::Yes:
        return Stored::No;
    case Stored::No:
        return Stored::Yes;
    case Stored::Unknown:
        break;
    }
    return Stored::Unknown;
}

Stored task(const Task &wanted) {
    return findIn(DataAccess::selectProjectTasks(wanted.projectId, false),
                  [&](const RecordSet &rows, int row) {
                      return same(RecordRows::taskAt(rows, row), wanted);
                  });
}

Stored member(const Member &wanted) {
    return findIn(DataAccess::selectMembers(wanted.userName, wanted.password),
                  [&](const RecordSet &rows, int row) {
                      const int name = rows.fieldIndex(QStringLiteral("Remark"));
                      return name >= 0 && SqlValues::trimmed(rows.value(row, name)) ==
                                              SqlValues::trimmed(wanted.displayName);
                  });
}

} // namespace ReadBack
