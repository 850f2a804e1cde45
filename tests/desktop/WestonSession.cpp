#include "desktop/WestonSession.h"

#include "desktop/StoppedProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSize>

WestonSession::~WestonSession() {
    stop();
}

bool WestonSession::start(const QString &display, const QSize &size) {
    // Wayland clients refuse a runtime folder others can read.
    if (!runtime_.isValid() ||
        !QFile::setPermissions(runtime_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner)) {
        error_ = QStringLiteral("cannot make a runtime folder for weston");
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(QStringLiteral("weston"),
                   {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--no-config"),
                    QStringLiteral("--idle-time=0"), QStringLiteral("--socket=") + socketName(),
                    QStringLiteral("--width=%1").arg(size.width()),
                    QStringLiteral("--height=%1").arg(size.height()),
                    QStringLiteral("--log=") + runtime_.filePath(QStringLiteral("weston.log"))});
    if (!process_.waitForStarted(10000)) {
        error_ = QStringLiteral("weston did not start: ") + process_.errorString();
        return false;
    }
    // weston says nothing when it is ready: its socket does.
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(runtime_.filePath(socketName()))) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running) {
            error_ = QStringLiteral("weston did not open its socket");
            stop();
            return false;
        }
        process_.waitForFinished(50);
    }
    return true;
}

void WestonSession::stop() {
    stopProcess(process_);
}
