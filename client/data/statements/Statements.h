#pragma once
// The text of every statement the client sends, in the order of the server's
// list of statement shapes: members, projects, tasks, notices. The exact
// text, spacing and letter case included, is what the server's database sees.

#include "data/statements/Records.h"

class QDateTime;

namespace Statements {

// Members.
QString addMember(const Member &member);
QString selectMembers(const QString &userName, const QString &password);
QString selectMembers(const QString &userName);
QString selectMembers();
QString selectDisplayNames();
QString updateMember(const Member &oldLogin, const Member &newLogin);

// Projects.
QString addProject(const Project &project);
QString selectMemberProjects(const QString &demander, const QString &performer);
QString updateProject(const QString &performers, const QString &completeFlag,
                      const QString &taskCount, const QString &flowNodes, const Project &project);
QString updateProjectTaskCount(const QString &taskCount, const Project &project);
QString deleteProject(const QString &projectId);
// A re-edit: the stored project's deletion and its edited copy's insertion in
// one request, which the server keeps both or neither.
QString replaceProject(const QString &projectId, const Project &edited);
// The project query tab: every project, those created at or after a date,
// those whose performers contain a name, or both.
QString allProjects();
QString projectsCreatedSince(const QString &date);
QString projectsOfPerformer(const QString &name);
QString projectsOfPerformerSince(const QString &name, const QString &date);
// The project with this number (LIKE without a wildcard: the numbers hold none).
QString projectById(const QString &projectId);
// The projects whose numbers begin with a kind and a day ("GD20261210").
QString projectNumbersOfDay(const QString &dayPrefix);

// Tasks.
QString addTask(const Task &task);
QString selectProjectTasks(const QString &projectId, bool latestDueFirst);
QString selectMemberTasks(const QString &demander, const QString &performer);
QString updateTaskState(const QString &state, const QString &completionNote, const Task &task);
// A claim that only matches while the task is open and nobody has claimed it;
// task.performer is the member claiming it.
QString claimTask(const Task &task);
QString updateTaskReadTime(const QString &readReceipt, const Task &task);
QString deleteTask(const QString &projectId, const QString &content, const QString &demander);
// As replaceProject, for the task with old's key.
QString replaceTask(const Task &old, const Task &edited);

// Notices and the reminder.
QString addNotice(const Notice &notice);
// The notice panel: the last fifteen days' notices, newest first.
QString noticePanel(const QDateTime &now);
// The reminder's counts: a member's open projects and unfinished tasks.
QString openProjectsOf(const QString &displayName);
QString unfinishedTasksOf(const QString &displayName);

// The statistics tab: a member's tasks created in a year, oldest first: those
// the member performs and those still unclaimed that name the member among
// their related persons. Each row carries one more column, the time of the
// notice that a completed task's agreement wrote (the first addressed to its
// dispatcher since the task was created): the Task table keeps no time of
// completion. Tasks alike in every column come as one row.
QString memberYearTasks(const QString &member, int year);

// The changes of a project and of its tasks the server's journal keeps,
// newest first: time, member, action, table, task text, dispatcher, changes.
QString projectHistory(const QString &projectId);

} // namespace Statements
