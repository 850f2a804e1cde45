// solvane: the desktop client.

#include "ClientApp.h"
#include "CommandLine.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "seams/QtChinese.h"

#include <QApplication>

namespace {

// Errors that escape an event handler end up in the default error box and the
// program goes on.
class SolvaneApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const RequestFailed &failed) {
            Dialogs::showError(failed.failure.text());
        } catch (const std::exception &error) {
            qWarning().noquote() << "Event handler stopped:" << error.what();
            Dialogs::showError(QStringLiteral("程序内部出错，此次操作未完成。"));
        }
        return false;
    }
};

} // namespace

int main(int argc, char **argv) {
    if (auto status = CommandLine::answer(argc, argv))
        return *status;
    SolvaneApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Solvane"));
    // Ties the windows to solvane.desktop, whose icon the desktop shows for them.
    QGuiApplication::setDesktopFileName(QStringLiteral("solvane"));
    // Before any window: Qt's own buttons, dialogs and calendar speak Chinese too.
    QtChinese::install();
    ClientApp client;
    if (!client.logIn())
        return 0;
    return QApplication::exec();
}
