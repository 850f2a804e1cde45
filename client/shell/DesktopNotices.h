#pragma once
// New notices for the member on the desktop, for a member whose main window
// is in the background: through the desktop's notification service
// (org.freedesktop.Notifications on the session bus, which GNOME, KDE and
// most others serve), or as a message of the tray where there is no such
// service. A click on the notice brings the window to the front.

#include <QObject>
#include <QStringList>

class QSystemTrayIcon;
class QWidget;

class DesktopNotices : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotices(QWidget *window);

    // Shows the first few of contents; nothing without contents, or with
    // neither a notification service nor a tray.
    void tell(const QStringList &contents);

    enum class Way { None, Service, Tray };
    // How the last notice was shown.
    Way lastWay() const { return lastWay_; }

private slots:
    void serviceActionInvoked(uint id, const QString &action);

private:
    bool tellService(const QString &summary, const QString &body);
    void tellTray(const QString &summary, const QString &body);
    void bringWindowToFront();

    QWidget *window_;
    QSystemTrayIcon *tray_ = nullptr; // made when first needed
    bool listening_ = false;          // to the service's clicks
    QList<uint> shownIds_;            // the service's notices of this window
    Way lastWay_ = Way::None;
};
