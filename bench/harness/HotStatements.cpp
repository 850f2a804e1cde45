#include "harness/HotStatements.h"

#include "data/statements/Statements.h"
#include "notices/NoticeBoard.h"

#include <QDateTime>

namespace HotStatements {

Labelled forMember(const QString &name) {
    return {
        {"project list", Statements::selectMemberProjects(name, name)},
        {"task list", Statements::selectMemberTasks(name, name)},
        {"notice panel", Statements::noticePanel(QDateTime::currentDateTime())},
        {"reminder: projects", Statements::openProjectsOf(name)},
        {"reminder: tasks", Statements::unfinishedTasksOf(name)},
    };
}

} // namespace HotStatements
