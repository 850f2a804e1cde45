#pragma once
// A window created once at start-up and reused: closing hides it and enables
// the window it was opened over again, unconditionally.

#include <QWidget>

class ChildWindow : public QWidget {
    Q_OBJECT
public:
    ChildWindow(const QString &caption, int width, int height, QWidget *parent = nullptr);

    // The window that this one's closing enables again.
    void setEnablesOnClose(QWidget *window) { enablesOnClose_ = window; }
    QWidget *enablesOnClose() const { return enablesOnClose_; }

    // Re-reads the window's data from the server; may throw.
    virtual void refill() {}

protected:
    void closeEvent(QCloseEvent *event) override; // hides instead of closing

private:
    QWidget *enablesOnClose_ = nullptr;
};
