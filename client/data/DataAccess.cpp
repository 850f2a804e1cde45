#include "DataAccess.h"

#include "AppServerGateway.h"
#include "RecordRows.h"
#include "RecordSet.h"
#include "ServerError.h"
#include "Statements.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace {

// Every gateway set and not yet released, the one in use last: when a main
// window goes away, the operations go back to the gateway set before its own.
std::vector<AppServerGateway *> gGateways;
ServerFailure gLastFailure;

AppServerGateway *activeGateway() {
    return gGateways.empty() ? nullptr : gGateways.back();
}

// Runs one gateway call; every failure, a missing gateway included, gives the
// empty result.
template <class Result, class Call> Result callGateway(Call call) {
    gLastFailure = {};
    AppServerGateway *gateway = activeGateway();
    if (!gateway) {
        gLastFailure = {ServerFailure::Kind::Unreached,
                        QStringLiteral("尚未连接服务器，请重新登录。")};
        return Result{};
    }
    try {
        return call(*gateway);
    } catch (const std::exception &error) {
        gLastFailure = ServerFailure::of(error);
        return Result{};
    }
}

PDataPacket query(const QString &sql) {
    return callGateway<PDataPacket>([&](AppServerGateway &g) { return g.openSql(sql); });
}

// A change through ExecSQL or DelSQL: a failure that is not the server's no
// (a lost answer, a server out of reach) is told as such, and a lost answer
// marked on the result.
template <class Call> ChangeResult counted(Call call) {
    ChangeResult result = callGateway<ChangeResult>(call);
    result.answerLost = gLastFailure.kind == ServerFailure::Kind::AnswerLost;
    if (!result.succeeded && !gLastFailure.failed())
        gLastFailure = ServerFailure::refused(result.refusal);
    return result;
}

ChangeResult change(const QString &sql) {
    return counted([&](AppServerGateway &g) { return g.execSqlCounted(sql); });
}

bool exec(const QString &sql) {
    return change(sql).succeeded;
}

bool del(const QString &sql) {
    return counted([&](AppServerGateway &g) { return g.delSqlCounted(sql); }).succeeded;
}

} // namespace

namespace DataAccess {

void setGateway(AppServerGateway *gateway) {
    if (!gateway) {
        gGateways.clear();
        return;
    }
    releaseGateway(gateway);
    gGateways.push_back(gateway);
}
void releaseGateway(AppServerGateway *gateway) {
    gGateways.erase(std::remove(gGateways.begin(), gGateways.end(), gateway), gGateways.end());
}
AppServerGateway *gateway() {
    return activeGateway();
}
ServerFailure lastFailure() {
    return gLastFailure;
}

bool addMember(const Member &member) {
    return exec(Statements::addMember(member));
}
PDataPacket selectMembers(const QString &userName, const QString &password) {
    return query(Statements::selectMembers(userName, password));
}
PDataPacket checkLogin(const QString &userName, const QString &password) {
    AppServerGateway *gateway = activeGateway();
    if (!gateway)
        return nullptr;
    try {
        return gateway->openSql(Statements::selectMembers(userName, password));
    } catch (const UnauthorizedError &) {
        // The server knows no such member: as good as a check that found none.
        auto none = std::make_shared<DataPacket>();
        none->columns = QStringList{"UseName", "PassWord", "Remark"};
        return none;
    } catch (const std::exception &) {
        return nullptr;
    }
}
PDataPacket selectMembers(const QString &userName) {
    return query(Statements::selectMembers(userName));
}
PDataPacket selectMembers() {
    return query(Statements::selectMembers());
}
PDataPacket selectDisplayNames() {
    return query(Statements::selectDisplayNames());
}
bool updateMember(const Member &oldLogin, const Member &newLogin) {
    return exec(Statements::updateMember(oldLogin, newLogin));
}
ChangeResult updateMemberCounted(const Member &oldLogin, const Member &newLogin) {
    return change(Statements::updateMember(oldLogin, newLogin));
}

bool addProject(const Project &project) {
    return exec(Statements::addProject(project));
}
PDataPacket selectMemberProjects(const QString &demander, const QString &performer) {
    return query(Statements::selectMemberProjects(demander, performer));
}
PDataPacket queryProjects(const QString &statement) {
    return query(statement);
}

std::optional<Project> storedProject(const QString &projectId) {
    RecordSet rows;
    rows.load(query(Statements::projectById(projectId)));
    if (rows.recordCount() == 0)
        return std::nullopt;
    return RecordRows::projectAt(rows, 0);
}
bool updateProject(const QString &performers, const QString &completeFlag, const QString &taskCount,
                   const QString &flowNodes, const Project &project) {
    return exec(Statements::updateProject(performers, completeFlag, taskCount, flowNodes, project));
}
bool updateProjectTaskCount(const QString &taskCount, const Project &project) {
    return exec(Statements::updateProjectTaskCount(taskCount, project));
}
bool deleteProject(const QString &projectId) {
    return del(Statements::deleteProject(projectId));
}

ChangeResult replaceProject(const QString &projectId, const Project &edited) {
    return change(Statements::replaceProject(projectId, edited));
}

bool addTask(const Task &task) {
    return exec(Statements::addTask(task));
}
PDataPacket selectProjectTasks(const QString &projectId, bool latestDueFirst) {
    return query(Statements::selectProjectTasks(projectId, latestDueFirst));
}
PDataPacket selectMemberTasks(const QString &demander, const QString &performer) {
    return query(Statements::selectMemberTasks(demander, performer));
}
bool updateTaskState(const QString &state, const QString &completionNote, const Task &task) {
    return exec(Statements::updateTaskState(state, completionNote, task));
}
ChangeResult updateTaskStateCounted(const QString &state, const QString &completionNote,
                                    const Task &task) {
    return change(Statements::updateTaskState(state, completionNote, task));
}
ChangeResult claimTask(const Task &task) {
    return change(Statements::claimTask(task));
}
bool updateTaskReadTime(const QString &readReceipt, const Task &task) {
    return exec(Statements::updateTaskReadTime(readReceipt, task));
}
bool deleteTask(const QString &projectId, const QString &content, const QString &demander) {
    return del(Statements::deleteTask(projectId, content, demander));
}

ChangeResult replaceTask(const Task &old, const Task &edited) {
    return change(Statements::replaceTask(old, edited));
}

bool addNotice(const Notice &notice) {
    return exec(Statements::addNotice(notice));
}

PDataPacket selectMemberYearTasks(const QString &member, int year) {
    return query(Statements::memberYearTasks(member, year));
}

} // namespace DataAccess
