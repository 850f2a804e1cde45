#pragma once
// A window created once at start-up and reused: closing hides it and enables
// the window it was opened over again, unconditionally. It opens at its own
// size inside the work area and can be resized and maximised; Esc closes it
// (asking first where it holds unsaved input), and Enter presses the button
// that has the focus, or else the window's default button.

#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <functional>

class ChildWindow : public QWidget {
    Q_OBJECT
public:
    ChildWindow(const QString &caption, int width, int height, QWidget *parent = nullptr);

    // The window that this one's closing enables again.
    void setEnablesOnClose(QWidget *window) { enablesOnClose_ = window; }
    QWidget *enablesOnClose() const { return enablesOnClose_; }

    // Keeps this window in front of the given one, as a window of its own: a
    // child widget would be disabled together with the window it belongs to.
    void keepInFrontOf(QWidget *window);
    QWidget *inFrontOf() const { return inFrontOf_; }

    // The button Enter presses (while it is shown and enabled); none by default.
    void setDefaultButton(QPushButton *button);
    QPushButton *defaultButton() const { return defaultButton_; }

    // Closing (Esc, the close button) asks `question` first, with Yes and No,
    // while `hasUnsavedInput` says there is something to lose.
    void askBeforeClosing(std::function<bool()> hasUnsavedInput, const QString &question,
                          const QString &caption);

    // Re-reads the window's data from the server; may throw.
    virtual void refill() {}

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent *event) override; // hides instead of closing
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void tieToWindowBehind();

    QWidget *enablesOnClose_ = nullptr;
    QPointer<QWidget> inFrontOf_;
    QPointer<QPushButton> defaultButton_;
    std::function<bool()> hasUnsavedInput_;
    QString closeQuestion_, closeCaption_;
};
