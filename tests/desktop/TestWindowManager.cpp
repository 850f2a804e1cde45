// The client under a real window manager (openbox on an Xvfb of 1366×768,
// a 40-pixel panel along the bottom): the large windows' frames, title bar
// included, fit the work area at scale 1, 1.5 and 2, read from
// _NET_FRAME_EXTENTS; message boxes and the login window are tied
// (WM_TRANSIENT_FOR) to the window they belong to, never to a hidden one.

#include "ClientApp.h"
#include "desktop/DesktopTestMain.h"
#include "projects/NewProjectWindow.h"
#include "projects/ProjectWindow.h"
#include "seams/Dialogs.h"
#include "seams/QtChinese.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "support/ShellFixture.h"
#include "tasks/FlowChart.h"
#include "tasks/TaskDispatchWindow.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const QSize kScreen(1366, 768);
const int kPanel = 40;
const QRect kWorkArea(0, 0, 1366, 768 - kPanel);

xcb_connection_t *xConnection() {
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_atom_t atom(const char *name) {
    xcb_connection_t *x = xConnection();
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : XCB_NONE;
    free(reply);
    return found;
}

// Up to `count` 32-bit values of a window's property.
QList<quint32> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type, int count) {
    xcb_connection_t *x = xConnection();
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, name, type, 0, count), nullptr);
    QList<quint32> values;
    if (reply && reply->type == type && reply->format == 32) {
        const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply));
        for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
            values << data[i];
    }
    free(reply);
    return values;
}

xcb_window_t transientFor(QWidget *window) {
    const QList<quint32> named =
        property(xcb_window_t(window->winId()), XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
    return named.isEmpty() ? XCB_NONE : named.first();
}

// Left, right, top, bottom: what the window manager draws around the window.
QMargins frameExtents(QWidget *window) {
    const QList<quint32> e = property(xcb_window_t(window->winId()),
                                      atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 4);
    return e.size() == 4 ? QMargins(int(e[0]), int(e[2]), int(e[1]), int(e[3])) : QMargins();
}

// The window's inside where the X server has it, in its own pixels.
QRect xGeometry(QWidget *window) {
    xcb_connection_t *x = xConnection();
    const auto id = xcb_window_t(window->winId());
    xcb_get_geometry_reply_t *size = xcb_get_geometry_reply(x, xcb_get_geometry(x, id), nullptr);
    xcb_translate_coordinates_reply_t *place = xcb_translate_coordinates_reply(
        x, xcb_translate_coordinates(x, id, size->root, 0, 0), nullptr);
    const QRect geometry(place->dst_x, place->dst_y, size->width, size->height);
    free(size);
    free(place);
    return geometry;
}

// Run as a process of its own at the scale the parent chose: shows each
// large window, waits until the window manager has framed it and the window
// has settled inside the work area (or 5 s have passed), and prints its frame
// and the extents.
int frameWindows(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir settings;
    LoginSettings::setPathForTesting(settings.filePath("Server.ini"));
    LoginSettings::setSystemPath(QString());
    ClientApp client;
    const QList<QPair<const char *, QWidget *>> windows = {
        {"main", client.mainWindow},
        {"project", client.projectWindow},
        {"new-project", client.newProjectWindow},
        {"dispatch", client.dispatchWindow}};
    for (const auto &[name, window] : windows) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            return 1;
        QRect frame;
        QMargins extents;
        QDeadlineTimer settled(5000);
        do {
            QTest::qWait(20); // the window manager's answers arrive meanwhile
            extents = frameExtents(window);
            frame = xGeometry(window).marginsAdded(extents);
        } while ((extents.isNull() || !kWorkArea.contains(frame)) && !settled.hasExpired());
        std::printf("%s %d %d %d %d %d %d %d %d\n", name, frame.x(), frame.y(), frame.width(),
                    frame.height(), extents.left(), extents.right(), extents.top(),
                    extents.bottom());
        window->hide();
    }
    return 0;
}

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void framesFitTheWorkArea_data();
    void framesFitTheWorkArea();
    void boxesAndTheLoginBelongToTheirWindow();

private:
    // Runs `action`; the message box it shows is read (its WM_TRANSIENT_FOR)
    // once the window manager has it, then closed.
    xcb_window_t ownerOfBoxShownBy(const std::function<void()> &action, QString *text);

    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
};

void TestWindowManager::cleanup() {
    app_.reset();
    fixture_.stop();
    Dialogs::setRecording(true);
}

void TestWindowManager::framesFitTheWorkArea_data() {
    QTest::addColumn<QString>("scale");
    QTest::newRow("100 %") << "1";
    QTest::newRow("150 %") << "1.5";
    QTest::newRow("200 %") << "2";
}

void TestWindowManager::framesFitTheWorkArea() {
    QFETCH(QString, scale);
    QProcess framing;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", scale);
    framing.setProcessEnvironment(environment);
    framing.start(QCoreApplication::applicationFilePath(), {"--frame-windows"});
    QVERIFY(framing.waitForFinished(90000));
    QVERIFY2(framing.exitCode() == 0, framing.readAllStandardError().constData());
    const QStringList lines =
        QString::fromLatin1(framing.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    for (const QString &line : lines) {
        qInfo("%s at %s: %s", qPrintable(line.section(' ', 0, 0)), qPrintable(scale),
              qPrintable(line));
        const QStringList f = line.split(' ');
        const QRect frame(f[1].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt());
        const QMargins extents(f[5].toInt(), f[7].toInt(), f[6].toInt(), f[8].toInt());
        QVERIFY2(!extents.isNull(), qPrintable(line)); // the window manager framed it
        // Title bar and frame inside the work area: nothing cut at the bottom.
        QVERIFY2(kWorkArea.contains(frame), qPrintable(line));
        if (scale != "1") // too large at this scale: the frame takes the work area's height
            QVERIFY2(qAbs(frame.height() - kWorkArea.height()) <= 2 ||
                         f[0] == "new-project" || f[0] == "dispatch",
                     qPrintable(line));
    }
}

xcb_window_t TestWindowManager::ownerOfBoxShownBy(const std::function<void()> &action,
                                                  QString *text) {
    xcb_window_t owner = XCB_WINDOW_NONE;
    bool read = false;
    auto *watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || read)
            return;
        read = true;
        *text = box->text();
        owner = transientFor(box);
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
    });
    watch->start(20);
    action();
    delete watch;
    return read ? owner : xcb_window_t(1); // 1: no box was shown
}

void TestWindowManager::boxesAndTheLoginBelongToTheirWindow() {
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

    // The login is a window of its own: shown before any other, it stays in
    // front of nothing (a dialog would be tied to a hidden 1×1 window).
    LoginWindow *login = app_->loginWindow;
    login->show();
    QVERIFY(QTest::qWaitForWindowExposed(login));
    QCOMPARE(transientFor(login), xcb_window_t(XCB_WINDOW_NONE));
    QTRY_VERIFY(login->isActiveWindow());
    login->userNameEdit->setText("tb58");
    login->passwordEdit->setText("wrong");
    QString said;
    QCOMPARE(ownerOfBoxShownBy([login] { login->logIn(); }, &said), xcb_window_t(login->winId()));
    QCOMPARE(said, "登录用户名/密码错误，请重新输入");
    login->passwordEdit->setText("pw");
    login->logIn();
    QCOMPARE(login->result(), int(QDialog::Accepted));
    login->hide();

    MainWindow *mainWindow = app_->mainWindow;
    mainWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
    QTRY_VERIFY(mainWindow->isActiveWindow());
    // The dispatch window's box stays in front of the dispatch window.
    mainWindow->projectGrid->setCurrentIndex(mainWindow->projectGrid->model()->index(0, 0));
    QTest::keyClick(mainWindow->projectGrid, Qt::Key_Return);
    ProjectWindow *project = app_->projectWindow;
    QVERIFY(QTest::qWaitForWindowExposed(project));
    QTRY_VERIFY(project->isActiveWindow());
    project->dispatchButton->click();
    TaskDispatchWindow *dispatch = app_->dispatchWindow;
    QVERIFY(QTest::qWaitForWindowExposed(dispatch));
    QTRY_VERIFY(dispatch->isActiveWindow());
    dispatch->pickStep(12); // 常规下单: no text yet
    QCOMPARE(ownerOfBoxShownBy([dispatch] { dispatch->saveButton->click(); }, &said),
             xcb_window_t(dispatch->winId()));
    QCOMPARE(said, "请先输入任务内容后再派发");
    // Hidden without its close (which would ask first, the form being filled):
    // the project window gets back what closing gives it, its controls. Left
    // blocked, its boxes would rightly pass it over.
    dispatch->hide();
    project->setEnabled(true);
    project->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(project));
    // A box of the project window (deleting asks first; No keeps the project).
    QCOMPARE(ownerOfBoxShownBy([project] { Dialogs::inform("项目窗口的提示"); }, &said),
             xcb_window_t(project->winId()));
    project->close();
    QTRY_VERIFY(mainWindow->isActiveWindow());
    QCOMPARE(ownerOfBoxShownBy([] { Dialogs::inform("主窗口的提示"); }, &said),
             xcb_window_t(mainWindow->winId()));
}

int main(int argc, char **argv) {
    if (argc > 1 && !std::strcmp(argv[1], "--frame-windows"))
        return frameWindows(argc, argv); // on the parent's display, at its scale
    return runUnderOpenbox<TestWindowManager>(argc, argv, kScreen, kPanel);
}

#include "TestWindowManager.moc"
