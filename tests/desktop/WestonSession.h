#pragma once
// A Wayland compositor for a test: Debian's weston on a private
// XDG_RUNTIME_DIR, drawing into the X display it is given. Its X11 backend
// gives it a seat (a keyboard and a pointer): Qt 6.4's Wayland plugin crashes
// on a compositor without one, and weston 10's headless backend makes none
// (the test plugin that adds one is not in Debian's package). Stopped, by its
// process id, when destroyed.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class WestonSession {
public:
    ~WestonSession();
    // Starts weston on the X display `display` with an output of `size`, and
    // waits until its socket is there; false, with errorText(), when it cannot.
    bool start(const QString &display, const QSize &size);
    void stop();
    QString runtimeDir() const { return runtime_.path(); }
    QString socketName() const { return QStringLiteral("wayland-solvane"); }
    QString errorText() const { return error_; }

private:
    QTemporaryDir runtime_;
    QProcess process_;
    QString error_;
};
