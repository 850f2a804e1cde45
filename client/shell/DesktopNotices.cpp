#include "shell/DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

constexpr int kLinesShown = 3;
constexpr int kServiceTimeoutMs = 2000; // a service that does not answer must not hold the window

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// Running, or started by the bus when first asked.
bool serviceOffered(const QDBusConnection &bus) {
    if (!bus.isConnected())
        return false;
    QDBusConnectionInterface *daemon = bus.interface();
    if (!daemon)
        return false;
    if (daemon->isServiceRegistered(kService))
        return true;
    const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kService);
}

} // namespace

DesktopNotices::DesktopNotices(QWidget *window) : QObject(window), window_(window) {}

void DesktopNotices::tell(const QStringList &contents) {
    if (contents.isEmpty())
        return;
    const QString summary = QStringLiteral("Solvane：%1条新通告").arg(contents.size());
    const QString body = contents.mid(0, kLinesShown).join(QLatin1Char('\n'));
    if (tellService(summary, body)) {
        lastWay_ = Way::Service;
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        lastWay_ = Way::None;
        return;
    }
    tellTray(summary, body);
    lastWay_ = Way::Tray;
}

bool DesktopNotices::tellService(const QString &summary, const QString &body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!serviceOffered(bus))
        return false;
    if (!listening_)
        listening_ = bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                                 SLOT(serviceActionInvoked(uint, QString)));
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                         QStringLiteral("Notify"));
    // The body is shown as markup by some services: plain text escaped.
    notify << QStringLiteral("Solvane") << uint(0) << QStringLiteral("solvane") << summary
           << body.toHtmlEscaped()
           << QStringList{QStringLiteral("default"), QStringLiteral("打开Solvane")}
           << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("solvane")}}
           << int(-1);
    const QDBusMessage answer = bus.call(notify, QDBus::Block, kServiceTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return false;
    shownIds_.append(answer.arguments().first().toUInt());
    return true;
}

void DesktopNotices::tellTray(const QString &summary, const QString &body) {
    if (!tray_) {
        tray_ = new QSystemTrayIcon(window_->windowIcon(), this);
        tray_->setToolTip(QStringLiteral("Solvane"));
        connect(tray_, &QSystemTrayIcon::messageClicked, this,
                &DesktopNotices::bringWindowToFront);
    }
    tray_->show();
    tray_->showMessage(summary, body);
}

void DesktopNotices::serviceActionInvoked(uint id, const QString &action) {
    if (action == QLatin1String("default") && shownIds_.contains(id))
        bringWindowToFront();
}

void DesktopNotices::bringWindowToFront() {
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}
