// The client under a Wayland compositor (weston, with a seat, on an Xvfb of
// its own), through Qt's Wayland plugin as a Wayland desktop runs it: the
// login, the main window, a child window and a message box open, and each
// names the window it belongs to (QWindow::transientParent, which the plugin
// gives the compositor as the surface's parent).

#include "ClientApp.h"
#include "desktop/DesktopTestMain.h"
#include "desktop/WestonSession.h"
#include "desktop/XvfbDisplay.h"
#include "projects/ProjectWindow.h"
#include "seams/Dialogs.h"
#include "seams/QtChinese.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "support/ShellFixture.h"
#include "tasks/TaskDispatchWindow.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>

class TestWayland : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowsAndBoxesHaveTheirParents();

private:
    // Runs `action`; the message box it shows is read (the window it names
    // as its parent) once shown, then closed. Null when no box was shown.
    QWindow *parentOfBoxShownBy(const std::function<void()> &action, QString *text);

    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
};

void TestWayland::init() {
    QCOMPARE(QGuiApplication::platformName(), "wayland");
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start({{"tb58", "pw", "Mareth"}}),
             qPrintable(fixture_.server().errorText()));
    LoginSettings::setSystemPath(QString());
    QVERIFY(fixture_.exec("Insert into Programe values('GD20261201001','来源','目标','内容',"
                          "'Mareth','Mareth','2026-12-01 09:00:00','2026-12-20 09:00:00','No',"
                          "'0','')"));
    app_ = std::make_unique<ClientApp>();
    Dialogs::setRecording(false); // the real boxes, as a member sees them
}

void TestWayland::cleanup() {
    app_.reset();
    fixture_.stop();
    Dialogs::setRecording(true);
}

QWindow *TestWayland::parentOfBoxShownBy(const std::function<void()> &action, QString *text) {
    QWindow *parent = nullptr;
    bool read = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || !box->windowHandle() || !box->windowHandle()->isExposed() ||
            read)
            return;
        read = true;
        *text = box->text();
        parent = box->windowHandle()->transientParent();
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
    });
    watch.start(20);
    action();
    return read ? parent : nullptr;
}

void TestWayland::windowsAndBoxesHaveTheirParents() {
    // The login is a window of its own, tied to no hidden window.
    LoginWindow *login = app_->loginWindow;
    login->show();
    QVERIFY(QTest::qWaitForWindowExposed(login));
    QVERIFY(login->windowHandle()->transientParent() == nullptr);
    login->userNameEdit->setText("tb58");
    login->passwordEdit->setText("wrong");
    QString said;
    QCOMPARE(parentOfBoxShownBy([login] { login->logIn(); }, &said), login->windowHandle());
    QCOMPARE(said, "登录用户名/密码错误，请重新输入");
    login->passwordEdit->setText("pw");
    login->logIn();
    QCOMPARE(login->result(), int(QDialog::Accepted));
    login->hide();

    MainWindow *mainWindow = app_->mainWindow;
    mainWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
    QVERIFY(mainWindow->windowHandle()->transientParent() == nullptr);
    // A child window of the main window, and one of the project window.
    mainWindow->projectGrid->setCurrentIndex(mainWindow->projectGrid->model()->index(0, 0));
    QTest::keyClick(mainWindow->projectGrid, Qt::Key_Return);
    ProjectWindow *project = app_->projectWindow;
    QVERIFY(QTest::qWaitForWindowExposed(project));
    QCOMPARE(project->windowHandle()->transientParent(), mainWindow->windowHandle());
    project->dispatchButton->click();
    TaskDispatchWindow *dispatch = app_->dispatchWindow;
    QVERIFY(QTest::qWaitForWindowExposed(dispatch));
    QCOMPARE(dispatch->windowHandle()->transientParent(), project->windowHandle());
    // The dispatch window's box belongs to the dispatch window.
    dispatch->pickStep(12); // 常规下单: no text yet
    QCOMPARE(parentOfBoxShownBy([dispatch] { dispatch->saveButton->click(); }, &said),
             dispatch->windowHandle());
    QCOMPARE(said, "请先输入任务内容后再派发");
    dispatch->hide();
    project->close();
    QCOMPARE(parentOfBoxShownBy([] { Dialogs::inform("主窗口的提示"); }, &said),
             mainWindow->windowHandle());
}

int main(int argc, char **argv) {
    XvfbDisplay display;
    if (!display.start(QSize(1366, 768), QRect(0, 0, 1366, 768))) {
        std::fprintf(stderr, "%s\n", qPrintable(display.errorText()));
        return 1;
    }
    WestonSession compositor;
    if (!compositor.start(display.name(), QSize(1366, 768))) {
        std::fprintf(stderr, "%s\n", qPrintable(compositor.errorText()));
        return 1;
    }
    qputenv("XDG_RUNTIME_DIR", compositor.runtimeDir().toLocal8Bit());
    qputenv("WAYLAND_DISPLAY", compositor.socketName().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "wayland");
    qunsetenv("DISPLAY"); // nothing goes past the compositor
    const int status = runInApplication<TestWayland>(argc, argv);
    compositor.stop();
    display.stop();
    return status;
}

#include "TestWayland.moc"
