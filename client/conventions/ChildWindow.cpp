#include "ChildWindow.h"

#include "WindowConventions.h"

#include <QCloseEvent>

ChildWindow::ChildWindow(const QString &caption, int width, int height, QWidget *parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(caption);
    WindowConventions::fixSize(this, width, height);
    WindowConventions::centreOnScreen(this, width, height);
}

void ChildWindow::closeEvent(QCloseEvent *event) {
    event->ignore();
    hide();
    if (enablesOnClose_)
        enablesOnClose_->setEnabled(true);
}
