#pragma once
// A real window manager for a test's X display: Debian's openbox, with a
// bottom margin standing for a desktop's panel (the work area it announces
// ends there), framing every window as a desktop does. Stopped, by its
// process id, when destroyed.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class OpenboxSession {
public:
    ~OpenboxSession();
    // Starts openbox on `display` and waits until it manages the screen;
    // false, with errorText(), when it cannot.
    bool start(const QString &display, int panelHeight);
    void stop();
    QString errorText() const { return error_; }

private:
    QTemporaryDir config_;
    QProcess process_;
    QString error_;
};
