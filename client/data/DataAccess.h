#pragma once
// The data-access operations: each composes one statement and sends it
// through the gateway. They never raise: a query gives its rows or a failure,
// a change the count of rows it changed or a failure. A change that matched
// no row is not a failure; its count is 0.

#include "data/RequestResult.h"
#include "data/statements/Records.h"

#include <QDateTime>

#include <optional>

class AppServerGateway;
class ServerConnection;

namespace DataAccess {

// The gateway the operations use: the one set last and not yet released. The
// main window sets its own once it exists and releases it when it goes away;
// setting none (nullptr) leaves the operations without any.
void setGateway(AppServerGateway *gateway);
void releaseGateway(AppServerGateway *gateway);
AppServerGateway *gateway();

// Opens the connection (the handshake) unless it is open; the failure when
// the server cannot be reached.
std::optional<Failure> open(ServerConnection &connection);

// Members.
ChangeOutcome addMember(const Member &member);
QueryResult selectMembers(const QString &userName, const QString &password);
// The login check: as selectMembers(userName, password), but a server that
// refuses the credentials answers with no rows, not with a failure.
QueryResult checkLogin(const QString &userName, const QString &password);
QueryResult selectMembers(const QString &userName);
QueryResult selectMembers();
QueryResult selectDisplayNames();
ChangeOutcome updateMember(const Member &oldLogin, const Member &newLogin);

// Projects.
ChangeOutcome addProject(const Project &project);
QueryResult selectMemberProjects(const QString &demander, const QString &performer);
// A statement composed by Statements for the project query or the numbering.
QueryResult queryProjects(const QString &statement);
QueryResult selectProject(const QString &projectId);
ChangeOutcome updateProject(const QString &performers, const QString &completeFlag,
                            const QString &taskCount, const QString &flowNodes,
                            const Project &project);
ChangeOutcome updateProjectTaskCount(const QString &taskCount, const Project &project);
ChangeOutcome deleteProject(const QString &projectId);
// Replaces the stored project with its edited copy, or leaves it as it was.
ChangeOutcome replaceProject(const QString &projectId, const Project &edited);
// The reminder's open projects of a member.
QueryResult selectOpenProjectsOf(const QString &displayName);

// Tasks.
ChangeOutcome addTask(const Task &task);
QueryResult selectProjectTasks(const QString &projectId, bool latestDueFirst);
QueryResult selectMemberTasks(const QString &demander, const QString &performer);
ChangeOutcome updateTaskState(const QString &state, const QString &completionNote,
                              const Task &task);
ChangeOutcome claimTask(const Task &task);
ChangeOutcome updateTaskReadTime(const QString &readReceipt, const Task &task);
ChangeOutcome deleteTask(const QString &projectId, const QString &content,
                         const QString &demander);
// Replaces the task with old's key by its edited copy, or leaves it as it was.
ChangeOutcome replaceTask(const Task &old, const Task &edited);
// The reminder's unfinished tasks of a member.
QueryResult selectUnfinishedTasksOf(const QString &displayName);
// The statistics tab's one question: a member's tasks created in a year.
QueryResult selectMemberYearTasks(const QString &member, int year);
// The changes of a project and its tasks the server's journal keeps, newest first.
QueryResult selectProjectHistory(const QString &projectId);

// Notices.
ChangeOutcome addNotice(const Notice &notice);
// The notices the panel shows at this moment.
QueryResult selectPanelNotices(const QDateTime &now);

} // namespace DataAccess
