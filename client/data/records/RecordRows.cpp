#include "data/records/RecordRows.h"

#include "data/records/RecordSet.h"
#include "data/statements/SqlValues.h"

namespace RecordRows {

namespace {
QString cell(const RecordSet &rows, int row, int column) {
    return column < rows.fieldCount() ? rows.value(row, column) : QString();
}
} // namespace

Project projectAt(const RecordSet &rows, int row) {
    auto at = [&](int column) { return cell(rows, row, column); };
    return {at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7), at(8), at(9), at(10)};
}

Task taskAt(const RecordSet &rows, int row) {
    auto at = [&](int column) { return cell(rows, row, column); };
    return {at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7), at(8), at(9)};
}

Project trimmed(Project p) {
    for (QString *field : {&p.id, &p.source, &p.aim, &p.content, &p.creator, &p.performers,
                           &p.createTime, &p.dueTime, &p.completeFlag, &p.taskCount, &p.flowNodes})
        *field = SqlValues::trimmed(*field);
    return p;
}

Task trimmed(Task t) {
    for (QString *field :
         {&t.projectId, &t.content, &t.dispatcher, &t.performer, &t.createTime, &t.dueTime,
          &t.state, &t.completionNote, &t.readReceipt, &t.relatedPersons})
        *field = SqlValues::trimmed(*field);
    return t;
}

} // namespace RecordRows
