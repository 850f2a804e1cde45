#include "widgets/WindowConventions.h"

#include "widgets/CutTextTips.h"
#include "widgets/RowNumberHeader.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QTableView>
#include <QWidget>

#include <QtMath>

namespace WindowConventions {

namespace {

// The frame the window manager drew around the last window it framed: a
// window not yet shown is sized as if it had the same.
QMargins gLastFrame;

QMargins frameOf(const QWidget *window) {
    const QRect inner = window->geometry(), outer = window->frameGeometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (!frame.isNull())
        gLastFrame = frame;
    const bool framed = !(window->windowFlags() & Qt::FramelessWindowHint);
    return frame.isNull() && framed ? gLastFrame : frame;
}

// The window manager frames a window only once it is shown: then its frame,
// not its inside, is fitted to the work area again. The member's own moves
// and sizes afterwards are left alone.
class FrameFit : public QObject {
public:
    explicit FrameFit(QWidget *window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == window_ && window_->isVisible() &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
             event->type() == QEvent::Show)) {
            const QMargins frame = frameOf(window_);
            if (frame != fitted_) {
                fitted_ = frame;
                keepInWorkArea(window_);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *window_;
    QMargins fitted_;
};

class EnterOpens : public QObject {
public:
    EnterOpens(QTableView *grid, std::function<void()> open)
        : QObject(grid), grid_(grid), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) || !grid_->currentIndex().isValid())
            return QObject::eventFilter(watched, event);
        open_();
        return true;
    }

private:
    QTableView *grid_;
    std::function<void()> open_;
};

} // namespace

QRect workArea(const QWidget *window) {
    QScreen *screen = window ? window->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    QRect area = screen->availableGeometry();
    // At a fractional scale the last logical pixel may reach past the
    // screen's last real one.
    const qreal ratio = screen->devicePixelRatio();
    if (ratio != qFloor(ratio))
        area.adjust(0, 0, -1, -1);
    return area;
}

void openInWorkArea(QWidget *window, const QSize &size) {
    static const char *const kFitted = "solvaneFrameFit";
    if (!window->property(kFitted).toBool()) {
        window->setProperty(kFitted, true);
        window->installEventFilter(new FrameFit(window));
    }
    const QRect area = workArea(window);
    if (area.isEmpty()) {
        window->resize(size);
        return;
    }
    const QMargins frame = frameOf(window);
    const QSize inner = size.boundedTo(area.size().shrunkBy(frame)).expandedTo(QSize(1, 1));
    window->resize(inner);
    const QSize outer = window->size().grownBy(frame);
    // move() places the frame's corner.
    window->move(area.x() + qMax(0, (area.width() - outer.width()) / 2),
                 area.y() + qMax(0, (area.height() - outer.height()) / 2));
}

void keepInWorkArea(QWidget *window) {
    if (window->isMaximized() || window->isFullScreen())
        return;
    const QRect area = workArea(window);
    if (area.isEmpty())
        return;
    const QMargins frame = frameOf(window);
    const QSize inner = window->size().boundedTo(area.size().shrunkBy(frame));
    if (inner != window->size())
        window->resize(inner);
    const QSize outer = window->size().grownBy(frame);
    // A window that cannot shrink enough keeps its title bar and left edge in reach.
    QPoint corner = window->pos();
    corner.setX(qMax(area.left(), qMin(corner.x(), area.left() + area.width() - outer.width())));
    corner.setY(qMax(area.top(), qMin(corner.y(), area.top() + area.height() - outer.height())));
    if (corner != window->pos())
        window->move(corner);
}

void centreOnScreen(QWidget *window, int width, int height) {
    const QRect area = workArea(window);
    if (area.isEmpty())
        return;
    window->move(area.x() + qMax(0, (area.width() - width) / 2),
                 area.y() + qMax(0, (area.height() - height) / 2));
}

void clearInputMethodHints(QWidget *window) {
    window->setInputMethodHints(Qt::ImhNone);
    for (QWidget *child : window->findChildren<QWidget *>())
        child->setInputMethodHints(Qt::ImhNone);
}

QFont windowFont() {
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    return tahoma;
}

QWidget *scrolling(QWidget *content) {
    auto *area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(content);
    // Not a Tab stop of its own: the keyboard goes to what it holds, which
    // it scrolls into view.
    area->setFocusPolicy(Qt::NoFocus);
    // The page's own background, not the scroll area's.
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return area;
}

QTableView *recordGrid(QWidget *parent, QAbstractItemModel *model, const QRect &where) {
    auto *view = new QTableView(parent);
    view->setVerticalHeader(new RowNumberHeader(view));
    view->setModel(model);
    if (!where.isEmpty())
        view->setGeometry(where);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    view->verticalHeader()->setDefaultSectionSize(20);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view->setItemDelegate(new CutTextTips(view));
    // One Tab stop: Tab leaves the grid, the arrow keys move within it.
    view->setTabKeyNavigation(false);
    return view;
}

void openRowsOnEnter(QTableView *grid, std::function<void()> open) {
    grid->installEventFilter(new EnterOpens(grid, std::move(open)));
}

void keepTabStopOnChecked(QButtonGroup *group) {
    placeTabStop(group);
    QObject::connect(group, &QButtonGroup::buttonToggled, group, [group] { placeTabStop(group); });
}

void placeTabStop(QButtonGroup *group) {
    const QList<QAbstractButton *> buttons = group->buttons();
    QAbstractButton *stop = group->checkedButton();
    if (!stop && !buttons.isEmpty())
        stop = buttons.first();
    for (QAbstractButton *button : buttons) {
        const Qt::FocusPolicy policy = button->focusPolicy();
        button->setFocusPolicy(button == stop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                              : Qt::FocusPolicy(policy & ~Qt::TabFocus));
    }
}

void setCaption(QLabel *label, const QString &caption) {
    QString lines = caption;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    label->setText(lines);
    label->adjustSize();
}

} // namespace WindowConventions
