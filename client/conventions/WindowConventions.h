#pragma once
// What every window does when it is created: fixed size, centred, no input
// method preference on any control.

class QWidget;

namespace WindowConventions {
void fixSize(QWidget *window, int width, int height);
void centreOnScreen(QWidget *window, int width, int height);
void clearInputMethodHints(QWidget *window);
// All three, for a window of one fixed size.
void apply(QWidget *window, int width, int height);
} // namespace WindowConventions
