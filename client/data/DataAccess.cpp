#include "DataAccess.h"

#include "AppServerGateway.h"
#include "Statements.h"

#include <exception>

namespace {

AppServerGateway *gActiveGateway = nullptr;

PDataPacket query(const QString &sql) {
    if (!gActiveGateway)
        return nullptr;
    try {
        return gActiveGateway->openSql(sql);
    } catch (const std::exception &) {
        return nullptr;
    }
}

bool exec(const QString &sql) {
    if (!gActiveGateway)
        return false;
    try {
        return gActiveGateway->execSql(sql);
    } catch (const std::exception &) {
        return false;
    }
}

bool del(const QString &sql) {
    if (!gActiveGateway)
        return false;
    try {
        return gActiveGateway->delSql(sql);
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

namespace DataAccess {

void setGateway(AppServerGateway *gateway) {
    gActiveGateway = gateway;
}
AppServerGateway *gateway() {
    return gActiveGateway;
}

bool addMember(const Member &member) {
    return exec(Statements::addMember(member));
}
PDataPacket selectMembers(const QString &userName, const QString &password) {
    return query(Statements::selectMembers(userName, password));
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

bool addProject(const Project &project) {
    return exec(Statements::addProject(project));
}
PDataPacket selectMemberProjects(const QString &demander, const QString &performer) {
    return query(Statements::selectMemberProjects(demander, performer));
}
PDataPacket queryProjects(const QString &statement) {
    return query(statement);
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
bool updateTaskReadTime(const QString &readReceipt, const Task &task) {
    return exec(Statements::updateTaskReadTime(readReceipt, task));
}
bool deleteTask(const QString &projectId, const QString &content, const QString &demander) {
    return del(Statements::deleteTask(projectId, content, demander));
}

bool addNotice(const Notice &notice) {
    return exec(Statements::addNotice(notice));
}

} // namespace DataAccess
