#include "TaskDispatchWindow.h"

#include "WindowConventions.h"

TaskDispatchWindow::TaskDispatchWindow(QWidget *parent)
    : ChildWindow(QStringLiteral("派发任务"), 589, 448, parent) {
    WindowConventions::clearInputMethodHints(this);
}
