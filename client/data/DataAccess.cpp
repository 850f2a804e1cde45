#include "data/DataAccess.h"

#include "data/answers/ServerError.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/statements/Statements.h"

#include <QDebug>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

// Every gateway set and not yet released, the one in use last: when a main
// window goes away, the operations go back to the gateway set before its own.
std::vector<AppServerGateway *> gGateways;

AppServerGateway *activeGateway() {
    return gGateways.empty() ? nullptr : gGateways.back();
}

Failure::Kind kindOf(ServerError::Kind kind) {
    switch (kind) {
    case ServerError::Kind::Unreached:
        return Failure::Kind::Unreached;
    case ServerError::Kind::AnswerLost:
        return Failure::Kind::AnswerLost;
    case ServerError::Kind::Busy:
        return Failure::Kind::Busy;
    case ServerError::Kind::Refused:
        break;
    }
    return Failure::Kind::Refused;
}

// The server's words go to the log; the member reads the failure's text.
Failure logged(Failure failure) {
    qWarning().noquote() << "Request to the application server failed:" << failure.reason
                         << (failure.code.isEmpty() ? QString() : "(" + failure.code + ")");
    return failure;
}

Failure failureOf(const ServerError &error, const QString &where) {
    return logged({kindOf(error.kind()), QString::fromStdString(error.code()),
                   QString::fromStdString(error.reason()), where});
}

Failure noGateway() {
    return logged({Failure::Kind::Unreached, {}, QStringLiteral("no gateway set"), {}});
}

// Runs one gateway call; nothing it raises gets past here.
template <class Result, class Call> Result callGateway(Call call) {
    AppServerGateway *gateway = activeGateway();
    if (!gateway)
        return noGateway();
    try {
        return call(*gateway);
    } catch (const ServerError &error) {
        return failureOf(error, gateway->where());
    } catch (const std::exception &error) {
        // An answer that could not be read (out of memory, a broken packet).
        return logged({Failure::Kind::Refused, {}, QString::fromUtf8(error.what()),
                       gateway->where()});
    }
}

QueryResult query(const QString &sql) {
    return callGateway<QueryResult>(
        [&](AppServerGateway &g) { return QueryResult(g.openSql(sql)); });
}

ChangeOutcome outcomeOf(const ChangeResult &result, const AppServerGateway &gateway) {
    if (result.succeeded)
        return ChangeOutcome(result.changes);
    // The database said no: its own code when the server gave one.
    return logged({Failure::Kind::Refused,
                   result.code.empty() ? QStringLiteral("database")
                                       : QString::fromStdString(result.code),
                   QString::fromStdString(result.refusal), gateway.where()});
}

ChangeOutcome exec(const QString &sql) {
    return callGateway<ChangeOutcome>(
        [&](AppServerGateway &g) { return outcomeOf(g.execSql(sql), g); });
}

ChangeOutcome del(const QString &sql) {
    return callGateway<ChangeOutcome>(
        [&](AppServerGateway &g) { return outcomeOf(g.delSql(sql), g); });
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

std::optional<Failure> open(ServerConnection &connection) {
    try {
        connection.open();
        return std::nullopt;
    } catch (const ServerError &error) {
        return failureOf(error, connection.hostName() + QLatin1Char(':') +
                                    QString::number(connection.port()));
    }
}

// Members.

ChangeOutcome addMember(const Member &member) {
    return exec(Statements::addMember(member));
}
QueryResult selectMembers(const QString &userName, const QString &password) {
    return query(Statements::selectMembers(userName, password));
}
QueryResult checkLogin(const QString &userName, const QString &password) {
    QueryResult found = selectMembers(userName, password);
    if (found.ok() || found.failure().code != QLatin1String("unauthorized"))
        return found;
    // The server knows no such member: as good as a check that found none.
    auto none = std::make_shared<DataPacket>();
    none->columns = QStringList{"UseName", "PassWord", "Remark"};
    return QueryResult(none);
}
QueryResult selectMembers(const QString &userName) {
    return query(Statements::selectMembers(userName));
}
QueryResult selectMembers() {
    return query(Statements::selectMembers());
}
QueryResult selectDisplayNames() {
    return query(Statements::selectDisplayNames());
}
ChangeOutcome updateMember(const Member &oldLogin, const Member &newLogin) {
    return exec(Statements::updateMember(oldLogin, newLogin));
}

// Projects.

ChangeOutcome addProject(const Project &project) {
    return exec(Statements::addProject(project));
}
QueryResult selectMemberProjects(const QString &demander, const QString &performer) {
    return query(Statements::selectMemberProjects(demander, performer));
}
QueryResult queryProjects(const QString &statement) {
    return query(statement);
}
QueryResult selectProject(const QString &projectId) {
    return query(Statements::projectById(projectId));
}
ChangeOutcome updateProject(const QString &performers, const QString &completeFlag,
                            const QString &taskCount, const QString &flowNodes,
                            const Project &project) {
    return exec(Statements::updateProject(performers, completeFlag, taskCount, flowNodes, project));
}
ChangeOutcome updateProjectTaskCount(const QString &taskCount, const Project &project) {
    return exec(Statements::updateProjectTaskCount(taskCount, project));
}
ChangeOutcome deleteProject(const QString &projectId) {
    return del(Statements::deleteProject(projectId));
}
ChangeOutcome replaceProject(const QString &projectId, const Project &edited) {
    return exec(Statements::replaceProject(projectId, edited));
}
QueryResult selectOpenProjectsOf(const QString &displayName) {
    return query(Statements::openProjectsOf(displayName));
}

// Tasks.

ChangeOutcome addTask(const Task &task) {
    return exec(Statements::addTask(task));
}
QueryResult selectProjectTasks(const QString &projectId, bool latestDueFirst) {
    return query(Statements::selectProjectTasks(projectId, latestDueFirst));
}
QueryResult selectMemberTasks(const QString &demander, const QString &performer) {
    return query(Statements::selectMemberTasks(demander, performer));
}
ChangeOutcome updateTaskState(const QString &state, const QString &completionNote,
                              const Task &task) {
    return exec(Statements::updateTaskState(state, completionNote, task));
}
ChangeOutcome claimTask(const Task &task) {
    return exec(Statements::claimTask(task));
}
ChangeOutcome updateTaskReadTime(const QString &readReceipt, const Task &task) {
    return exec(Statements::updateTaskReadTime(readReceipt, task));
}
ChangeOutcome deleteTask(const QString &projectId, const QString &content,
                         const QString &demander) {
    return del(Statements::deleteTask(projectId, content, demander));
}
ChangeOutcome replaceTask(const Task &old, const Task &edited) {
    return exec(Statements::replaceTask(old, edited));
}
QueryResult selectUnfinishedTasksOf(const QString &displayName) {
    return query(Statements::unfinishedTasksOf(displayName));
}
QueryResult selectMemberYearTasks(const QString &member, int year) {
    return query(Statements::memberYearTasks(member, year));
}
QueryResult selectProjectHistory(const QString &projectId) {
    return query(Statements::projectHistory(projectId));
}

// Notices.

ChangeOutcome addNotice(const Notice &notice) {
    return exec(Statements::addNotice(notice));
}
QueryResult selectPanelNotices(const QDateTime &now) {
    return query(Statements::noticePanel(now));
}

} // namespace DataAccess
