#include "desktop/XvfbDisplay.h"

#include "desktop/StoppedProcess.h"

#include <QDeadlineTimer>

#include <xcb/xcb.h>

#include <cstring>

XvfbDisplay::~XvfbDisplay() {
    stop();
}

bool XvfbDisplay::start(const QSize &screen, const QRect &workArea) {
    // -displayfd 1: Xvfb picks a free display and says which on stdout.
    process_.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                    // Without it the server forgets the work area when its last client goes.
                    QStringLiteral("-noreset")});
    if (!process_.waitForStarted(10000)) {
        error_ = QStringLiteral("Xvfb did not start: ") + process_.errorString();
        return false;
    }
    QDeadlineTimer deadline(20000);
    QByteArray said;
    while (!said.contains('\n') && !deadline.hasExpired() && process_.state() == QProcess::Running)
        if (process_.waitForReadyRead(int(deadline.remainingTime())))
            said += process_.readAllStandardOutput();
    if (!said.contains('\n')) {
        error_ = QStringLiteral("Xvfb named no display: ") +
                 QString::fromLocal8Bit(process_.readAllStandardError());
        stop();
        return false;
    }
    name_ = QStringLiteral(":") + QString::fromLatin1(said.trimmed());

    // The work area a desktop's panel leaves, as the window manager would set it.
    xcb_connection_t *x = xcb_connect(name_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(x)) {
        xcb_disconnect(x);
        error_ = QStringLiteral("cannot connect to ") + name_;
        stop();
        return false;
    }
    auto atom = [x](const char *name) {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t found = reply->atom;
        free(reply);
        return found;
    };
    const xcb_atom_t workAreaAtom = atom("_NET_WORKAREA");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t area[4] = {uint32_t(workArea.x()), uint32_t(workArea.y()),
                              uint32_t(workArea.width()), uint32_t(workArea.height())};
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, root, workAreaAtom, XCB_ATOM_CARDINAL, 32, 4,
                        area);
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr)); // a round trip: it is set
    xcb_disconnect(x);
    return true;
}

void XvfbDisplay::stop() {
    stopProcess(process_);
}
