#include "NewProjectWindow.h"

#include "WindowConventions.h"

NewProjectWindow::NewProjectWindow(QWidget *parent)
    : ChildWindow(QStringLiteral("创建新项目"), 393, 420, parent) {
    WindowConventions::clearInputMethodHints(this);
}
