#include "TForm4.h"

#include "WindowConventions.h"

TForm4::TForm4(QWidget *parent) : ChildWindow(QStringLiteral("创建新项目"), 393, 420, parent) {
    WindowConventions::clearInputMethodHints(this);
}
