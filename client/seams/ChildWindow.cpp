#include "seams/ChildWindow.h"

#include "seams/Dialogs.h"
#include "widgets/WindowConventions.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWindow>

namespace {

// Screen readers announce a child window as a window with its caption; a plain
// QWidget would present itself as an unnamed client area.
QAccessibleInterface *presentAsWindow(const QString &, QObject *object) {
    auto *window = qobject_cast<ChildWindow *>(object);
    return window ? new QAccessibleWidget(window, QAccessible::Window) : nullptr;
}

// A dialog-type window: the X11 window system is told which window it stays
// in front of only for those. It keeps the buttons of a main window.
constexpr Qt::WindowFlags kFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;

} // namespace

ChildWindow::ChildWindow(const QString &caption, int width, int height, QWidget *parent)
    : QWidget(parent, kFlags) {
    static const bool presented = (QAccessible::installFactory(presentAsWindow), true);
    Q_UNUSED(presented);
    setWindowTitle(caption);
    WindowConventions::openInWorkArea(this, QSize(width, height));
}

void ChildWindow::keepInFrontOf(QWidget *window) {
    inFrontOf_ = window;
    if (inFrontOf_)
        tieToWindowBehind();
}

void ChildWindow::setDefaultButton(QPushButton *button) {
    if (defaultButton_)
        defaultButton_->setDefault(false);
    defaultButton_ = button;
    if (defaultButton_)
        defaultButton_->setDefault(true);
}

void ChildWindow::setVisible(bool visible) {
    // Tied again before each showing: the window system reads the tie when the
    // window appears, and a recreated native window would have lost it.
    if (visible && inFrontOf_)
        tieToWindowBehind();
    QWidget::setVisible(visible);
}

void ChildWindow::showEvent(QShowEvent *event) {
    // Sent before the window appears: a screen or scale changed since it was
    // placed must not leave it partly outside the work area.
    if (!event->spontaneous())
        WindowConventions::keepInWorkArea(this);
    QWidget::showEvent(event);
}

void ChildWindow::tieToWindowBehind() {
    // The tie is between native windows, so both are created here.
    inFrontOf_->winId();
    winId();
    windowHandle()->setTransientParent(inFrontOf_->windowHandle());
}

void ChildWindow::askBeforeClosing(std::function<bool()> hasUnsavedInput,
                                   const QString &question, const QString &caption) {
    hasUnsavedInput_ = std::move(hasUnsavedInput);
    closeQuestion_ = question;
    closeCaption_ = caption;
}

void ChildWindow::closeEvent(QCloseEvent *event) {
    event->ignore();
    if (isVisible() && hasUnsavedInput_ && hasUnsavedInput_() &&
        Dialogs::message(closeQuestion_, closeCaption_, QMessageBox::Question,
                         QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return; // the member keeps what was typed
    hide();
    if (enablesOnClose_)
        enablesOnClose_->setEnabled(true);
}

void ChildWindow::keyPressEvent(QKeyEvent *event) {
    if (event->modifiers() & ~(Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A button that has the focus is pressed itself, not the window's default.
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget());
            focused && focused->isEnabled() && focused->isVisible()) {
            focused->click();
            return;
        }
        if (defaultButton_ && defaultButton_->isVisible() && defaultButton_->isEnabled()) {
            defaultButton_->click();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
