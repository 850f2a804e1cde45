#include "HotStatements.h"

#include "NoticeBoard.h"
#include "Statements.h"

#include <QDateTime>

namespace HotStatements {

Labelled forMember(const QString &name) {
    return {
        {"project list", Statements::selectMemberProjects(name, name)},
        {"task list", Statements::selectMemberTasks(name, name)},
        {"notice panel", NoticeBoard::panelStatement(QDateTime::currentDateTime())},
        {"reminder: projects", NoticeBoard::projectCountStatement(name)},
        {"reminder: tasks", NoticeBoard::taskCountStatement(name)},
    };
}

} // namespace HotStatements
