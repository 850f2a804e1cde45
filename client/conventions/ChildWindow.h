#pragma once
// A window created once at start-up and reused: closing hides it and enables
// the window it was opened over again, unconditionally.

#include <QPointer>
#include <QWidget>

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

    // Re-reads the window's data from the server; may throw.
    virtual void refill() {}

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent *event) override; // hides instead of closing

private:
    void tieToWindowBehind();

    QWidget *enablesOnClose_ = nullptr;
    QPointer<QWidget> inFrontOf_;
};
