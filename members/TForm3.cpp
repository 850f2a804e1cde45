#include "TForm3.h"

#include "WindowConventions.h"

TForm3::TForm3(QWidget *parent)
    : ChildWindow(QStringLiteral("平台成员管理"), 460, 232, parent) {
    // Its height moves between 232 and 263 with the window's mode.
    setMinimumSize(460, 232);
    setMaximumSize(460, 263);
    WindowConventions::clearInputMethodHints(this);
}
