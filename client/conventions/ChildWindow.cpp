#include "ChildWindow.h"

#include "WindowConventions.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QWindow>

namespace {

// Screen readers announce a child window as a window with its caption; a plain
// QWidget would present itself as an unnamed client area.
QAccessibleInterface *presentAsWindow(const QString &, QObject *object) {
    auto *window = qobject_cast<ChildWindow *>(object);
    return window ? new QAccessibleWidget(window, QAccessible::Window) : nullptr;
}

} // namespace

ChildWindow::ChildWindow(const QString &caption, int width, int height, QWidget *parent)
    : QWidget(parent, Qt::Window) {
    static const bool presented = (QAccessible::installFactory(presentAsWindow), true);
    Q_UNUSED(presented);
    setWindowTitle(caption);
    WindowConventions::fixSize(this, width, height);
    WindowConventions::centreOnScreen(this, width, height);
}

void ChildWindow::keepInFrontOf(QWidget *window) {
    inFrontOf_ = window;
    tieToWindowBehind();
}

void ChildWindow::setVisible(bool visible) {
    // Tied again before each showing: the window system reads the tie when the
    // window appears, and a recreated native window would have lost it.
    if (visible && inFrontOf_)
        tieToWindowBehind();
    QWidget::setVisible(visible);
}

void ChildWindow::tieToWindowBehind() {
    // The tie is between native windows, so both are created here.
    inFrontOf_->winId();
    winId();
    windowHandle()->setTransientParent(inFrontOf_->windowHandle());
}

void ChildWindow::closeEvent(QCloseEvent *event) {
    event->ignore();
    hide();
    if (enablesOnClose_)
        enablesOnClose_->setEnabled(true);
}
