#pragma once
// A real X display for a test: an Xvfb of the given size on a display number
// it picks itself, with a work area smaller than the screen (as a desktop
// panel makes it). Stopped, by its process id, when destroyed.

#include <QProcess>
#include <QRect>
#include <QString>

class XvfbDisplay {
public:
    ~XvfbDisplay();
    // Starts Xvfb and sets _NET_WORKAREA on its root window; false, with
    // errorText(), when it cannot.
    bool start(const QSize &screen, const QRect &workArea);
    void stop();
    QString name() const { return name_; } // ":N"
    QString errorText() const { return error_; }

private:
    QProcess process_;
    QString name_, error_;
};
