#pragma once
// What every window does when it is created: fixed size, centred, no input
// method preference on any control; and how its labels show their captions.

class QAbstractItemModel;
class QRect;
class QTableView;
class QLabel;
class QString;
class QWidget;

namespace WindowConventions {
void fixSize(QWidget *window, int width, int height);
void centreOnScreen(QWidget *window, int width, int height);
void clearInputMethodHints(QWidget *window);
// All three, for a window of one fixed size.
void apply(QWidget *window, int width, int height);
// A grid of whole rows: one row selected at a time, no wrapping, 20-pixel rows.
QTableView *recordGrid(QWidget *parent, QAbstractItemModel *model, const QRect &where);

// Shows a caption whose lines are broken by carriage returns, as this system
// writes its captions, on as many lines: a Qt label breaks only on a line feed.
void setCaption(QLabel *label, const QString &caption);
} // namespace WindowConventions
