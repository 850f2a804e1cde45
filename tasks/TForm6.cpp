#include "TForm6.h"

#include "WindowConventions.h"

TForm6::TForm6(QWidget *parent) : ChildWindow(QStringLiteral("派发任务"), 589, 448, parent) {
    WindowConventions::clearInputMethodHints(this);
}
