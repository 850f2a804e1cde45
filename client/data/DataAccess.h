#pragma once
// The data-access operations: each composes one statement and sends it
// through the gateway. They never raise: a failed change gives false, a failed
// query the empty result (a null packet). A change that matched no row is not
// a failure; the counted forms tell it apart for the callers that need to.

#include "ChangeResult.h"
#include "DataPacket.h"
#include "Records.h"
#include "ServerFailure.h"

#include <optional>

class AppServerGateway;

namespace DataAccess {

// The gateway the operations use: the one set last and not yet released. The
// main window sets its own once it exists and releases it when it goes away;
// setting none (nullptr) leaves the operations without any.
void setGateway(AppServerGateway *gateway);
void releaseGateway(AppServerGateway *gateway);
AppServerGateway *gateway();

// Why the last operation failed; kind None when it succeeded.
ServerFailure lastFailure();

bool addMember(const Member &member);
PDataPacket selectMembers(const QString &userName, const QString &password);
// The login check: as selectMembers(userName, password), but a server that
// refuses the credentials answers with no rows, not with a failure.
PDataPacket checkLogin(const QString &userName, const QString &password);
PDataPacket selectMembers(const QString &userName);
PDataPacket selectMembers();
PDataPacket selectDisplayNames();
bool updateMember(const Member &oldLogin, const Member &newLogin);
ChangeResult updateMemberCounted(const Member &oldLogin, const Member &newLogin);

bool addProject(const Project &project);
PDataPacket selectMemberProjects(const QString &demander, const QString &performer);
PDataPacket queryProjects(const QString &statement);
// The project with this number as stored; nothing when there is none. Throws.
std::optional<Project> storedProject(const QString &projectId);
bool updateProject(const QString &performers, const QString &completeFlag, const QString &taskCount,
                   const QString &flowNodes, const Project &project);
bool updateProjectTaskCount(const QString &taskCount, const Project &project);
bool deleteProject(const QString &projectId);
// Replaces the stored project with its edited copy, or leaves it as it was.
ChangeResult replaceProject(const QString &projectId, const Project &edited);

bool addTask(const Task &task);
PDataPacket selectProjectTasks(const QString &projectId, bool latestDueFirst);
PDataPacket selectMemberTasks(const QString &demander, const QString &performer);
bool updateTaskState(const QString &state, const QString &completionNote, const Task &task);
ChangeResult updateTaskStateCounted(const QString &state, const QString &completionNote,
                                    const Task &task);
ChangeResult claimTask(const Task &task);
bool updateTaskReadTime(const QString &readReceipt, const Task &task);
bool deleteTask(const QString &projectId, const QString &content, const QString &demander);
// Replaces the task with old's key by its edited copy, or leaves it as it was.
ChangeResult replaceTask(const Task &old, const Task &edited);

bool addNotice(const Notice &notice);

// The statistics tab's one question: a member's tasks created in a year.
PDataPacket selectMemberYearTasks(const QString &member, int year);

} // namespace DataAccess
