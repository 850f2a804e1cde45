// The client on a real X display, an Xvfb of 1366×768 whose work area a
// 40-pixel panel shortens: where each window opens at scale 1, 1.5 and 2; which
// window each child window stays in front of, read from WM_TRANSIENT_FOR; Qt's
// own words in Chinese; and the keyboard and a screen reader doing the day's
// work: Alt keys, Enter in the query field and the grids, Esc, one Tab stop
// per date picker, and the business flow's steps.

#include "ClientApp.h"
#include "desktop/XvfbDisplay.h"
#include "members/MemberWindow.h"
#include "projects/NewProjectWindow.h"
#include "projects/ProgressSheet.h"
#include "projects/ProjectQueryTab.h"
#include "projects/ProjectWindow.h"
#include "seams/Dialogs.h"
#include "seams/QtChinese.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "statistics/CountLabel.h"
#include "statistics/MonthChart.h"
#include "statistics/StatisticsTab.h"
#include "support/ShellFixture.h"
#include "tasks/FlowChart.h"
#include "tasks/TaskDispatchWindow.h"
#include "tasks/TaskPanel.h"
#include "widgets/NamePicker.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QTextEdit>
#include <QtGui/qguiapplication_platform.h>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstdio>
#include <memory>

namespace {

const QSize kScreen(1366, 768);
const QRect kWorkArea(0, 0, 1366, 728); // a panel along the bottom

const QList<QStringList> kMembers = {{"tb58", "pw", "Mareth"}, {"kestra", "k", "Kestra"}};

xcb_connection_t *xConnection() {
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// The window WM_TRANSIENT_FOR names, as the window manager reads it.
xcb_window_t transientFor(QWidget *window) {
    xcb_connection_t *x = xConnection();
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(x,
                               xcb_get_property(x, 0, xcb_window_t(window->winId()),
                                                XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1),
                               nullptr);
    xcb_window_t named = XCB_NONE;
    if (reply && reply->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(reply) >= 4)
        named = *static_cast<xcb_window_t *>(xcb_get_property_value(reply));
    free(reply);
    return named;
}

// Where the X server has the window, in its own pixels.
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

// Run as a process of its own at the scale the parent chose: shows every
// window as it opens and prints where the X server has it.
int placeWindows(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir settings;
    LoginSettings::setPathForTesting(settings.filePath("Server.ini"));
    LoginSettings::setSystemPath(QString());
    ClientApp client;
    const QList<QPair<const char *, QWidget *>> windows = {
        {"login", client.loginWindow},     {"main", client.mainWindow},
        {"members", client.memberWindow},  {"new-project", client.newProjectWindow},
        {"project", client.projectWindow}, {"dispatch", client.dispatchWindow}};
    for (const auto &[name, window] : windows) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            return 1;
        const QRect at = xGeometry(window);
        std::printf("%s %d %d %d %d\n", name, at.x(), at.y(), at.width(), at.height());
        window->hide();
    }
    return 0;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowsOpenInsideTheWorkArea_data();
    void windowsOpenInsideTheWorkArea();
    void childWindowsStayInFrontOfTheirOpener();
    void qtSpeaksChinese();
    void keyboardDoesTheDaysWork();
    void flowChartStepsForScreenReadersAndKeys();
    void tabLeavesTheGridsAndActionsHaveAltLetters();
    void enterPressesTheFocusedButton();
    void datesByKeyboard();
    void escInTheDispatchFormAsksFirst();
    void serverIniIsTheOwnersAlone();
    void exportStartsInAnExistingFolder();
    void screenReadersHearNamesAndCounts();

private:
    void openProjectWithEnter();
    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
};

void TestDesktop::init() {
    if (QString(QTest::currentTestFunction()) == "windowsOpenInsideTheWorkArea")
        return; // no server: the windows are placed in a process of their own
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start(kMembers), qPrintable(fixture_.server().errorText()));
    LoginSettings::setSystemPath(QString()); // this machine's own settings play no part
    QVERIFY(fixture_.exec("Insert into Programe values('GD20261201001','来源','目标','内容',"
                          "'Mareth','Kestra','2026-12-01 09:00:00','2026-12-20 09:00:00','No',"
                          "'0','')"));
    QVERIFY(fixture_.exec("Insert into Task values('GD20261201001','安装','Mareth','',"
                          "'2026-12-01 09:00:00','2026-12-20 09:00:00','0','','','Kestra')"));
    app_ = std::make_unique<ClientApp>();
    QVERIFY(ShellFixture::logIn(*app_, "tb58", "pw"));
    app_->mainWindow->show();
    app_->mainWindow->activateWindow(); // there is no window manager to do it
    QVERIFY(QTest::qWaitForWindowActive(app_->mainWindow));
}

void TestDesktop::cleanup() {
    app_.reset();
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestDesktop::windowsOpenInsideTheWorkArea_data() {
    QTest::addColumn<QString>("scale");
    QTest::newRow("100 %") << "1";
    QTest::newRow("150 %") << "1.5";
    QTest::newRow("200 %") << "2";
}

void TestDesktop::windowsOpenInsideTheWorkArea() {
    QFETCH(QString, scale);
    QProcess placing;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", scale);
    placing.setProcessEnvironment(environment);
    placing.start(QCoreApplication::applicationFilePath(), {"--place-windows"});
    QVERIFY(placing.waitForFinished(60000));
    QVERIFY2(placing.exitCode() == 0, placing.readAllStandardError().constData());
    const QMap<QString, QSize> specified = {{"login", {600, 375}},   {"main", {952, 532}},
                                            {"members", {460, 232}}, {"new-project", {393, 420}},
                                            {"project", {675, 593}}, {"dispatch", {589, 448}}};
    const QStringList lines =
        QString::fromLatin1(placing.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), specified.size());
    for (const QString &line : lines) {
        const QStringList f = line.split(' ');
        const QRect at(f[1].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt());
        QVERIFY2(kWorkArea.contains(at), qPrintable(line));
        const QSize wanted = specified.value(f[0]) * scale.toDouble();
        if (scale == "1") // its own size, in the middle
            QCOMPARE(at.size(), wanted);
        else // as large as it was made, or shrunk to the work area (a pixel lost to rounding)
            QVERIFY2(qAbs(at.width() - qMin(wanted.width(), kWorkArea.width())) <= 2 &&
                         qAbs(at.height() - qMin(wanted.height(), kWorkArea.height())) <= 2,
                     qPrintable(line));
        QVERIFY2(qAbs(at.center().x() - kWorkArea.center().x()) <= 1, qPrintable(line));
    }
}

void TestDesktop::childWindowsStayInFrontOfTheirOpener() {
    MainWindow *mainWindow = app_->mainWindow;
    const auto mainId = xcb_window_t(mainWindow->winId());
    mainWindow->openMemberWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app_->memberWindow));
    QCOMPARE(transientFor(app_->memberWindow), mainId);
    app_->memberWindow->close();
    mainWindow->openNewProjectWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app_->newProjectWindow));
    QCOMPARE(transientFor(app_->newProjectWindow), mainId);
    app_->newProjectWindow->close();

    openProjectWithEnter();
    ProjectWindow *project = app_->projectWindow;
    QCOMPARE(transientFor(project), mainId);
    const auto projectId = xcb_window_t(project->winId());
    // What the project window opens stays in front of the project window.
    project->dispatchButton->click();
    QVERIFY(QTest::qWaitForWindowExposed(app_->dispatchWindow));
    QCOMPARE(transientFor(app_->dispatchWindow), projectId);
    app_->dispatchWindow->close();
    project->reeditButton->click();
    QVERIFY(QTest::qWaitForWindowExposed(app_->newProjectWindow));
    QCOMPARE(transientFor(app_->newProjectWindow), projectId);
    app_->newProjectWindow->close();
    project->close();
}

void TestDesktop::qtSpeaksChinese() {
    QVERIFY(QtChinese::install()); // the translations are installed
    QMessageBox box(QMessageBox::Question, "t", "x",
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), "确定");
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), "取消");
    QCOMPARE(box.button(QMessageBox::Yes)->text(), "是(&Y)");
    QCOMPARE(box.button(QMessageBox::No)->text(), "否(&N)");
    QFileDialog files(nullptr, "导出Excel");
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptSave);
    QStringList labels;
    for (const QLabel *label : files.findChildren<QLabel *>())
        labels << label->text();
    QVERIFY2(labels.contains("查找范围："), qPrintable(labels.join(", ")));
    QCOMPARE(files.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->text(),
             "保存(&S)");
    // The pickers' calendar names months and days in Chinese.
    QCalendarWidget *calendar = app_->newProjectWindow->dueTimeEdit->calendarWidget();
    QCOMPARE(calendar->locale().monthName(12), "十二月");
    QCOMPARE(calendar->locale().dayName(1, QLocale::ShortFormat), "周一");
}

void TestDesktop::openProjectWithEnter() {
    MainWindow *mainWindow = app_->mainWindow;
    mainWindow->queryEdit->setFocus();
    QTest::keyClicks(mainWindow->queryEdit, "Kestra,");
    QTest::keyClick(mainWindow->queryEdit, Qt::Key_Return); // runs the query
    QTRY_COMPARE(mainWindow->projectGrid->model()->rowCount(), 1);
    mainWindow->projectGrid->setFocus();
    mainWindow->projectGrid->setCurrentIndex(mainWindow->projectGrid->model()->index(0, 0));
    QTest::keyClick(mainWindow->projectGrid, Qt::Key_Return);
    QVERIFY(QTest::qWaitForWindowExposed(app_->projectWindow));
    QCOMPARE(app_->projectWindow->project.id, "GD20261201001");
    QVERIFY(!mainWindow->isEnabled());
}

void TestDesktop::keyboardDoesTheDaysWork() {
    MainWindow *mainWindow = app_->mainWindow;
    // Alt and the caption's letter opens the entry.
    QTest::keyClick(mainWindow, Qt::Key_U, Qt::AltModifier);
    QTRY_VERIFY(app_->memberWindow->isVisible());
    app_->memberWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(app_->memberWindow));
    QTest::keyClick(app_->memberWindow, Qt::Key_Escape); // Esc closes a child window
    QTRY_VERIFY(!app_->memberWindow->isVisible());
    QVERIFY(mainWindow->isEnabled());

    // Enter in the task grid opens the task.
    mainWindow->tabs->setCurrentIndex(1);
    mainWindow->taskGrid->setFocus();
    mainWindow->taskGrid->setCurrentIndex(mainWindow->taskGrid->model()->index(0, 1));
    QTest::keyClick(mainWindow->taskGrid, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(mainWindow->taskPanel->contentBox->toPlainText(), "安装");

    // A date picker is one Tab stop; Enter in a form presses its default button.
    QTest::keyClick(mainWindow, Qt::Key_A, Qt::AltModifier);
    NewProjectWindow *editor = app_->newProjectWindow;
    QTRY_VERIFY(editor->isVisible());
    editor->createTimeEdit->setFocus();
    QTest::keyClick(editor->createTimeEdit, Qt::Key_Tab);
    QCOMPARE(editor->focusWidget(), editor->dueTimeEdit);
    QTest::keyClick(editor->dueTimeEdit, Qt::Key_Return);
    const auto boxes = Dialogs::takeShown(); // "创建" without a kind
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "请先选择种类,以生成项目编号");
    editor->close();
}

void TestDesktop::flowChartStepsForScreenReadersAndKeys() {
    openProjectWithEnter();
    app_->projectWindow->dispatchButton->click();
    TaskDispatchWindow *dispatch = app_->dispatchWindow;
    QVERIFY(QTest::qWaitForWindowExposed(dispatch));
    FlowChart *chart = dispatch->chart;

    // Thirteen buttons, each named by its three lines.
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(chart);
    QCOMPARE(reader->childCount(), 13);
    QAccessibleInterface *first = reader->child(0);
    QCOMPARE(first->role(), QAccessible::Button);
    QCOMPARE(first->text(QAccessible::Name),
             "业务需求\n了解项目信息，初填评审表\n执行人:Kestra、Halvic、Dorvan");
    QCOMPARE(reader->child(12)->role(), QAccessible::Button);

    // The keyboard starts on the first step; Down goes to the step below it
    // (订单确认), Right along the row, and Enter picks.
    QCOMPARE(dispatch->focusWidget(), chart->stepButton(0));
    QTest::keyClick(dispatch->focusWidget(), Qt::Key_Down);
    QCOMPARE(dispatch->focusWidget(), chart->stepButton(5));
    QTest::keyClick(dispatch->focusWidget(), Qt::Key_Right);
    QCOMPARE(dispatch->focusWidget(), chart->stepButton(4));
    QTest::keyClick(dispatch->focusWidget(), Qt::Key_Left);
    QTest::keyClick(dispatch->focusWidget(), Qt::Key_Return);
    QVERIFY(dispatch->form->isVisible() && !chart->isVisible());
    QVERIFY(dispatch->contentEdit->toPlainText().startsWith("订单确认\n"));
    dispatch->close();

    // A screen reader's press picks as well.
    app_->projectWindow->dispatchButton->click();
    QVERIFY(chart->isVisible());
    QAccessibleInterface *step = QAccessible::queryAccessibleInterface(chart)->child(1);
    step->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(dispatch->form->isVisible());
    QVERIFY(dispatch->contentEdit->toPlainText().startsWith("技术评估结构、施工\n"));
    dispatch->close();
    app_->projectWindow->close();
}

void TestDesktop::tabLeavesTheGridsAndActionsHaveAltLetters() {
    MainWindow *mainWindow = app_->mainWindow;
    mainWindow->tabs->setCurrentIndex(1);
    QTableView *grid = mainWindow->taskGrid;
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid, Qt::Key_Return); // opens the task
    QCOMPARE(mainWindow->taskPanel->contentBox->toPlainText(), "安装");
    // The grid is one Tab stop: Tab goes on to the panel, Shift+Tab back.
    QTest::keyClick(grid, Qt::Key_Tab);
    QVERIFY(mainWindow->focusWidget() != grid);
    QVERIFY(mainWindow->taskPanel->isAncestorOf(mainWindow->focusWidget()));
    QTest::keyClick(mainWindow->focusWidget(), Qt::Key_Backtab);
    QCOMPARE(mainWindow->focusWidget(), grid);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ShiftModifier); // leaves backwards, too
    QVERIFY(mainWindow->focusWidget() != grid);

    // The action buttons' captions carry their Alt letters; Alt+L claims.
    QCOMPARE(mainWindow->completeButton->text(), "领取任务(&L)");
    QCOMPARE(mainWindow->applyButton->text(), "申请完成(&S)");
    QCOMPARE(mainWindow->reeditButton->text(), "重新编辑(&E)");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_L, Qt::AltModifier);
    QList<Dialogs::Shown> boxes;
    // The button is pressed as by a click, which shows for a moment first.
    const auto boxShown = [&boxes] {
        boxes += Dialogs::takeShown();
        return !boxes.isEmpty();
    };
    QVERIFY(QTest::qWaitFor(boxShown));
    QCOMPARE(boxes.size(), 1); // asked, answered Yes by the recording
    QCOMPARE(boxes[0].text, "是否领取该任务,若非预定执行人，请告知执行人。");
    QCOMPARE(mainWindow->taskPanel->performerLabel->text(), "Mareth");
    // Alt+S with an empty note asks for the note; the grid kept no key for itself.
    mainWindow->taskPanel->noteBox->clear();
    boxes.clear();
    QTest::keyClick(grid, Qt::Key_S, Qt::AltModifier);
    QVERIFY(QTest::qWaitFor(boxShown));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "请先输入任务完成情况说明后点击申请完成任务！");

    // The project window's grid is one Tab stop too, and its letters act there.
    openProjectWithEnter();
    ProjectWindow *project = app_->projectWindow;
    project->sheets->setCurrentIndex(1);
    project->taskGrid->setFocus();
    project->taskGrid->setCurrentIndex(project->taskGrid->model()->index(0, 0));
    QTest::keyClick(project->taskGrid, Qt::Key_Return);
    QTest::keyClick(project->taskGrid, Qt::Key_Tab);
    QVERIFY(project->taskPanel->isAncestorOf(project->focusWidget()));
    QCOMPARE(project->taskPanel->applyButton->text(), "申请完成(&S)");
    project->close();
}

void TestDesktop::enterPressesTheFocusedButton() {
    MainWindow *mainWindow = app_->mainWindow;
    // Enter on 导出Excel exports (the file dialog is asked), and runs no query.
    mainWindow->queryEdit->setText("nobody,");
    mainWindow->exportButton->setFocus();
    QTest::keyClick(mainWindow->exportButton, Qt::Key_Return);
    QCOMPARE(Dialogs::takeFileFilters().size(), 1);
    QCOMPARE(mainWindow->projectGrid->model()->rowCount(), 1); // not queried for "nobody"
    mainWindow->queryButton->setFocus();
    QTest::keyClick(mainWindow->queryButton, Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_COMPARE(mainWindow->projectGrid->model()->rowCount(), 0);

    // In a child window: Enter on 取消 cancels, it does not press 创建.
    QTest::keyClick(mainWindow, Qt::Key_A, Qt::AltModifier);
    NewProjectWindow *editor = app_->newProjectWindow;
    QTRY_VERIFY(editor->isVisible());
    editor->cancelButton->setFocus();
    QTest::keyClick(editor->cancelButton, Qt::Key_Return);
    QVERIFY(!editor->isVisible());
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestDesktop::datesByKeyboard() {
    QTest::keyClick(app_->mainWindow, Qt::Key_A, Qt::AltModifier);
    NewProjectWindow *editor = app_->newProjectWindow;
    QTRY_VERIFY(editor->isVisible());
    editor->activateWindow(); // there is no window manager to do it
    QTRY_COMPARE(QApplication::activeWindow(), editor);
    QDateTimeEdit *picker = editor->dueTimeEdit;
    picker->setDateTime(QDateTime(QDate(2026, 12, 11), QTime(9, 30, 0)));
    // Tab into the picker and type a date: the digits go into the sections.
    editor->createTimeEdit->setFocus();
    QTest::keyClick(editor->createTimeEdit, Qt::Key_Tab);
    QCOMPARE(editor->focusWidget(), picker);
    QTest::keyClicks(picker, "2027");
    QCOMPARE(picker->date().year(), 2027);
    QTest::keyClicks(picker, "03"); // a whole year typed, the month is next
    QCOMPARE(picker->date(), QDate(2027, 3, 11));

    // Alt+Down, Alt+Up and F4 open the calendar and change nothing; Esc
    // closes it, Enter in it picks the day.
    const QDateTime before = picker->dateTime();
    for (const auto &[key, modifiers] :
         {std::pair{Qt::Key_Down, Qt::AltModifier}, std::pair{Qt::Key_Up, Qt::AltModifier},
          std::pair{Qt::Key_F4, Qt::NoModifier}}) {
        QTest::keyClick(picker, key, modifiers);
        QTRY_VERIFY(picker->calendarWidget()->isVisible());
        QCOMPARE(picker->dateTime(), before);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!picker->calendarWidget()->isVisible());
        QCOMPARE(picker->dateTime(), before);
    }
    QTest::keyClick(picker, Qt::Key_F4);
    QTRY_VERIFY(picker->calendarWidget()->isVisible());
    QWidget *calendarGrid = picker->calendarWidget()->focusWidget()
                                ? picker->calendarWidget()->focusWidget()
                                : picker->calendarWidget();
    QTest::keyClick(calendarGrid, Qt::Key_Right);
    QTest::keyClick(calendarGrid, Qt::Key_Return);
    QTRY_VERIFY(!picker->calendarWidget()->isVisible());
    QCOMPARE(picker->date(), QDate(2027, 3, 12));
    QCOMPARE(picker->time(), before.time());
    editor->close();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestDesktop::escInTheDispatchFormAsksFirst() {
    openProjectWithEnter();
    app_->projectWindow->dispatchButton->click();
    TaskDispatchWindow *dispatch = app_->dispatchWindow;
    QVERIFY(QTest::qWaitForWindowExposed(dispatch));
    // A step just picked: nothing typed, Esc closes without asking.
    QTest::keyClick(dispatch->focusWidget(), Qt::Key_Return);
    QVERIFY(dispatch->form->isVisible());
    QTest::keyClick(dispatch->focusWidget(), Qt::Key_Escape);
    QVERIFY(!dispatch->isVisible());
    QCOMPARE(Dialogs::takeShown().size(), 0);

    app_->projectWindow->dispatchButton->click();
    QTest::keyClick(dispatch->focusWidget(), Qt::Key_Return);
    QTest::keyClicks(dispatch->contentEdit, " drawings");
    // No keeps the window and what was typed.
    Dialogs::setNextAnswer(QMessageBox::No);
    QTest::keyClick(dispatch->contentEdit, Qt::Key_Escape);
    auto boxes = Dialogs::takeShown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "所填写的任务尚未保存，关闭窗口将放弃这些内容。是否关闭？");
    QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(dispatch->isVisible());
    QVERIFY(dispatch->contentEdit->toPlainText().contains(" drawings"));
    // A changed time counts too; Yes closes.
    Dialogs::setNextAnswer(QMessageBox::Yes);
    QTest::keyClick(dispatch->contentEdit, Qt::Key_Escape);
    QCOMPARE(Dialogs::takeShown().size(), 1);
    QVERIFY(!dispatch->isVisible());
    app_->projectWindow->close();
}

void TestDesktop::serverIniIsTheOwnersAlone() {
    const QString path = LoginSettings::path();
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    // Read and written by its owner, by nobody else (0600).
    const auto ownersAlone = [&path] {
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
        const QFileDevice::Permissions mode = QFile::permissions(path);
        return !(mode & others) && (mode & QFileDevice::ReadOwner) &&
               (mode & QFileDevice::WriteOwner);
    };
    // The login of init() wrote it; the fixture had made it readable by all first.
    QVERIFY(ownersAlone());
    QCOMPARE(LoginSettings::savedPassword(), "pw");
    // A file readable by all from before is made the owner's at the next login,
    // also when the login is the same and nothing else is written.
    QVERIFY(QFile::setPermissions(path, ownerOnly | QFileDevice::ReadGroup |
                                            QFileDevice::ReadOther));
    LoginSettings::writeLogin("tb58", "pw");
    QVERIFY(ownersAlone());
    // A new file is born the owner's.
    QVERIFY(QFile::remove(path));
    LoginSettings::setDesktopNotices(false);
    QVERIFY(ownersAlone());
    LoginSettings::writeLogin("kestra", "k");
    QVERIFY(ownersAlone());
    QCOMPARE(LoginSettings::savedUserName(), "kestra");
}

void TestDesktop::exportStartsInAnExistingFolder() {
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME"), oldDocuments = qgetenv("XDG_DOCUMENTS_DIR");
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
    qputenv("XDG_CONFIG_HOME", home.filePath(".config").toUtf8());
    MainWindow *mainWindow = app_->mainWindow;
    // No Documents: the home folder, no folder name typed as the file's.
    mainWindow->exportButton->click();
    QCOMPARE(Dialogs::takeFileFolders(), QStringList{home.path()});
    QCOMPARE(Dialogs::takeFileFilters(), QStringList{"Excel 文件 (*.xlsx)"});
    QVERIFY(QDir(home.path()).mkdir("Documents"));
    mainWindow->exportButton->click();
    QCOMPARE(Dialogs::takeFileFolders(), QStringList{home.filePath("Documents")});
    qputenv("HOME", oldHome);
    qunsetenv("XDG_CONFIG_HOME");
    if (!oldDocuments.isEmpty())
        qputenv("XDG_DOCUMENTS_DIR", oldDocuments);
}

void TestDesktop::screenReadersHearNamesAndCounts() {
    MainWindow *mainWindow = app_->mainWindow;
    auto nameOf = [](QObject *object) {
        return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
    };
    QCOMPARE(nameOf(mainWindow->projectGrid), "项目列表");
    QCOMPARE(nameOf(mainWindow->taskGrid), "任务列表");
    QCOMPARE(nameOf(app_->projectWindow->taskGrid), "任务列表");
    QCOMPARE(nameOf(app_->projectWindow->progressGrid), "项目流程进度情况");

    // The panels that scroll a tab or a window are no Tab stops of their own.
    for (QWidget *window : {static_cast<QWidget *>(mainWindow),
                            static_cast<QWidget *>(app_->projectWindow),
                            static_cast<QWidget *>(app_->dispatchWindow),
                            static_cast<QWidget *>(app_->newProjectWindow)})
        for (QScrollArea *panel : window->findChildren<QScrollArea *>())
            QVERIFY2(!(panel->focusPolicy() & Qt::TabFocus), qPrintable(window->windowTitle()));

    // The dispatch form's boxes are named by their labels, not by what they hold.
    TaskDispatchWindow *dispatch = app_->dispatchWindow;
    QCOMPARE(nameOf(dispatch->dispatcherBox), "派发人");
    QCOMPARE(nameOf(dispatch->related->field), "执行人选");

    // The counts: the caption is the name, the number the value.
    StatisticsTab *statistics = mainWindow->analysisTab;
    QAccessibleInterface *count = QAccessible::queryAccessibleInterface(statistics->countLabels[0]);
    QCOMPARE(count->text(QAccessible::Name), "派发任务");
    QCOMPARE(count->text(QAccessible::Value), "0");
    QVERIFY(!nameOf(statistics->chart).isEmpty());
}

int main(int argc, char **argv) {
    if (argc > 1 && !std::strcmp(argv[1], "--place-windows"))
        return placeWindows(argc, argv); // on the parent's display, at its scale
    XvfbDisplay display;
    if (!display.start(kScreen, kWorkArea)) {
        std::fprintf(stderr, "%s\n", qPrintable(display.errorText()));
        return 1;
    }
    qputenv("DISPLAY", display.name().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status = 0;
    {
        QApplication app(argc, argv);
        QtChinese::install(); // before any window, as the client does
        QTEST_SET_MAIN_SOURCE_PATH
        TestDesktop test;
        status = QTest::qExec(&test, argc, argv);
    }
    display.stop();
    return status;
}

#include "TestDesktop.moc"
