#include "DesktopNotices.h"

#include <QSystemTrayIcon>
#include <QWidget>

namespace {

constexpr int kLinesShown = 3;

} // namespace

DesktopNotices::DesktopNotices(QWidget *window) : QObject(window), window_(window) {}

void DesktopNotices::tell(const QStringList &contents) {
    if (contents.isEmpty() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!tray_) {
        tray_ = new QSystemTrayIcon(window_->windowIcon(), this);
        tray_->setToolTip(QStringLiteral("Solvane"));
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] {
            window_->showNormal();
            window_->raise();
            window_->activateWindow();
        });
    }
    tray_->show();
    tray_->showMessage(QStringLiteral("Solvane：%1条新通告").arg(contents.size()),
                       contents.mid(0, kLinesShown).join(QLatin1Char('\n')));
}
