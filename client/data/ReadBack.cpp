#include "ReadBack.h"

#include "DataAccess.h"
#include "RecordRows.h"
#include "RecordSet.h"
#include "Statements.h"

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

// Whether a row of the packet read as a record holds wanted.
template <class Record>
Stored findIn(const PDataPacket &packet, const Record &wanted,
              Record (*recordAt)(const RecordSet &, int)) {
    if (!packet)
        return Stored::Unknown;
    RecordSet rows;
    rows.load(packet);
    for (int row = 0; row < rows.recordCount(); ++row)
        if (same(recordAt(rows, row), wanted))
            return Stored::Yes;
    return Stored::No;
}

} // namespace

Stored project(const Project &wanted) {
    return findIn(DataAccess::queryProjects(Statements::projectById(wanted.id)), wanted,
                  &RecordRows::projectAt);
}

Stored task(const Task &wanted) {
    return findIn(DataAccess::selectProjectTasks(wanted.projectId, false), wanted,
                  &RecordRows::taskAt);
}

} // namespace ReadBack
