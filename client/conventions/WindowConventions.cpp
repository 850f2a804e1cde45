#include "WindowConventions.h"

#include "RowNumberHeader.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTableView>
#include <QWidget>

namespace WindowConventions {

void fixSize(QWidget *window, int width, int height) {
    window->setMinimumSize(width, height);
    window->setMaximumSize(width, height);
    window->resize(width, height);
}

void centreOnScreen(QWidget *window, int width, int height) {
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    window->move(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2);
}

void clearInputMethodHints(QWidget *window) {
    window->setInputMethodHints(Qt::ImhNone);
    for (QWidget *child : window->findChildren<QWidget *>())
        child->setInputMethodHints(Qt::ImhNone);
}

void apply(QWidget *window, int width, int height) {
    fixSize(window, width, height);
    centreOnScreen(window, width, height);
    clearInputMethodHints(window);
}

QTableView *recordGrid(QWidget *parent, QAbstractItemModel *model, const QRect &where) {
    auto *view = new QTableView(parent);
    view->setVerticalHeader(new RowNumberHeader(view));
    view->setModel(model);
    view->setGeometry(where);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    view->verticalHeader()->setDefaultSectionSize(20);
    return view;
}

void setCaption(QLabel *label, const QString &caption) {
    QString lines = caption;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    label->setText(lines);
    label->adjustSize();
}

} // namespace WindowConventions
