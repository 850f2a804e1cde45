#pragma once
// New notices for the member as a message of the desktop's tray, for a
// member whose main window is in the background. A click on the message
// brings the window to the front.

#include <QObject>
#include <QStringList>

class QSystemTrayIcon;
class QWidget;

class DesktopNotices : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotices(QWidget *window);

    // Shows the first few of contents; nothing without a tray or contents.
    void tell(const QStringList &contents);

private:
    QWidget *window_;
    QSystemTrayIcon *tray_ = nullptr; // made when first needed
};
