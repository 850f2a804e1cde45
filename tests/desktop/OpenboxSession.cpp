#include "desktop/OpenboxSession.h"

#include "desktop/StoppedProcess.h"

#include <QDeadlineTimer>
#include <QFile>

#include <xcb/xcb.h>

#include <cstring>

namespace {

// Whether a window manager announces itself on the display's root window.
bool managed(const QString &display) {
    xcb_connection_t *x = xcb_connect(display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(x)) {
        xcb_disconnect(x);
        return false;
    }
    const char *name = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, std::strlen(name), name), nullptr);
    bool found = false;
    if (atom && atom->atom != XCB_NONE) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        xcb_get_property_reply_t *check = xcb_get_property_reply(
            x, xcb_get_property(x, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
        found = check && xcb_get_property_value_length(check) >= 4;
        free(check);
    }
    free(atom);
    xcb_disconnect(x);
    return found;
}

} // namespace

OpenboxSession::~OpenboxSession() {
    stop();
}

bool OpenboxSession::start(const QString &display, int panelHeight) {
    const QString rc = config_.filePath(QStringLiteral("rc.xml"));
    QFile file(rc);
    if (!config_.isValid() || !file.open(QIODevice::WriteOnly)) {
        error_ = QStringLiteral("cannot write openbox's configuration");
        return false;
    }
    file.write(QStringLiteral(
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
                   "  <margins><top>0</top><bottom>%1</bottom><left>0</left><right>0</right>"
                   "</margins>\n"
                   "  <focus><focusNew>yes</focusNew></focus>\n"
                   "</openbox_config>\n")
                   .arg(panelHeight)
                   .toUtf8());
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("HOME"), config_.path()); // no member's own openbox files
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("openbox"), {QStringLiteral("--config-file"), rc});
    if (!process_.waitForStarted(10000)) {
        error_ = QStringLiteral("openbox did not start: ") + process_.errorString();
        return false;
    }
    // openbox says nothing when it is ready: its mark on the root window does.
    QDeadlineTimer deadline(20000);
    while (!managed(display)) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running) {
            error_ = QStringLiteral("openbox did not take the display");
            stop();
            return false;
        }
        process_.waitForFinished(50); // returns at once if it ends meanwhile
    }
    return true;
}

void OpenboxSession::stop() {
    stopProcess(process_);
}
