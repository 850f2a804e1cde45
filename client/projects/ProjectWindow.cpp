#include "ProjectWindow.h"

#include "WindowConventions.h"

ProjectWindow::ProjectWindow(QWidget *parent)
    : ChildWindow(QStringLiteral("项目/任务详情及项目流程完结清单"), 675, 593, parent) {
    WindowConventions::clearInputMethodHints(this);
}
