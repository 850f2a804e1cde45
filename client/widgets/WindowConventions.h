#pragma once
// What every window does: it opens at its own size in the middle of the work
// area (shrunk where the work area is smaller, as at a large scale), stays
// inside the work area each time it is shown, asks for no input method, and
// lays its grids out the same way.

#include <functional>

class QAbstractItemModel;
class QButtonGroup;
class QFont;
class QLabel;
class QRect;
class QSize;
class QString;
class QTableView;
class QWidget;

namespace WindowConventions {

// The window system's work area of the window's screen: the screen less its panels.
QRect workArea(const QWidget *window);
// Sizes the window to `size` and centres it in the work area; a window larger
// than the work area is shrunk to it, frame included once the frame is known.
void openInWorkArea(QWidget *window, const QSize &size);
// Shrinks and moves a window back inside the work area; a maximised or full
// screen window is left to the window system.
void keepInWorkArea(QWidget *window);
// Centres a window of the given size in the work area, without resizing it.
void centreOnScreen(QWidget *window, int width, int height);

void clearInputMethodHints(QWidget *window);

// The windows' text: Tahoma at 11 pixels, or what the system has in its place.
QFont windowFont();

// Content that scrolls when the window is made smaller than it can be laid
// out in, and otherwise grows with the window.
QWidget *scrolling(QWidget *content);

// A grid of whole rows: one row selected at a time, no wrapping, 20-pixel
// rows, columns the member can widen, and the whole text of a cut cell in its
// tooltip. An empty `where` leaves the grid to a layout.
QTableView *recordGrid(QWidget *parent, QAbstractItemModel *model, const QRect &where);

// Enter on a grid opens its current row, as a double-click does; the key
// goes no further (no default button of the window takes it too).
void openRowsOnEnter(QTableView *grid, std::function<void()> open);

// An exclusive group of radio buttons is one Tab stop, on its checked button
// (the first while none is checked): Tab lands on the choice that the arrow
// keys then move. Qt leaves the stop on whichever button had the focus last,
// or on every button until one had it.
void keepTabStopOnChecked(QButtonGroup *group);
// The same once, after buttons were added to the group.
void placeTabStop(QButtonGroup *group);

// Shows a caption whose lines are broken by carriage returns, as this system
// writes its captions, on as many lines: a Qt label breaks only on a line feed.
void setCaption(QLabel *label, const QString &caption);

} // namespace WindowConventions
