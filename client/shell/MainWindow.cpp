#include "MainWindow.h"

#include "AboutBox.h"
#include "AppClock.h"
#include "ChildWindow.h"
#include "DataAccess.h"
#include "ErrorGuard.h"
#include "IntervalTimer.h"
#include "NoticeBoard.h"
#include "ProjectQueryTab.h"
#include "RecordSetModel.h"
#include "TaskGrid.h"
#include "TaskPanel.h"
#include "TaskWorkflow.h"
#include "WindowConventions.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextCursor>
#include <QTextEdit>

namespace {

QLabel *label(const QString &text, QWidget *parent, int left, int top) {
    auto *l = new QLabel(text, parent);
    l->move(left, top);
    return l;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Solvane项目管理平台"));
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);

    projectRecords = new RecordSet(this);
    taskRecords = new RecordSet(this);
    noticeRecords = new RecordSet(this);
    analysisRecords = new RecordSet(this);
    projectModel_ = new RecordSetModel(projectRecords, this);
    taskModel_ = new RecordSetModel(taskRecords, this);
    analysisModel_ = new RecordSetModel(analysisRecords, this);

    auto *menu = menuBar();
    newProjectAction =
        menu->addAction(QStringLiteral("添加项目(A)"), this, &MainWindow::openNewProjectWindow);
    membersAction =
        menu->addAction(QStringLiteral("成员管理(U)"), this, &MainWindow::openMemberWindow);
    aboutAction = menu->addMenu(QStringLiteral("帮助(H)"))
                      ->addAction(QStringLiteral("关于Solvane"), this,
                                  [this] { AboutBox::show(connection); });

    auto *client = new QWidget(this);
    setCentralWidget(client);
    tabs = new QTabWidget(client);
    tabs->setGeometry(8, 8, 920, 458);
    buildProjectTab();
    buildTaskTab();
    buildAnalysisTab();

    WindowConventions::fixSize(this, kWidth, kHeight);
    WindowConventions::centreOnScreen(this, kWidth, kHeight);
    tabs->setCurrentWidget(projectTab);
    WindowConventions::clearInputMethodHints(this);
}

MainWindow::~MainWindow() {
    // The timer goes first, so no tick can reach a window being torn down.
    delete reminderTimer;
    reminderTimer = nullptr;
    // Another shell of the same process may have set its own gateway since.
    DataAccess::releaseGateway(gateway.get());
}

void MainWindow::buildProjectTab() {
    projectTab = new QWidget;
    tabs->addTab(projectTab, QStringLiteral("项目查询"));
    label(QStringLiteral("查询条件："), projectTab, 16, 14);
    queryEdit = new QLineEdit(projectTab);
    queryEdit->setGeometry(82, 12, 592, 21);
    queryButton = new QPushButton(QStringLiteral("查询"), projectTab);
    queryButton->setGeometry(704, 10, 73, 25);
    exportButton = new QPushButton(QStringLiteral("导出Excel"), projectTab);
    exportButton->setGeometry(803, 10, 75, 25);
    projectGrid = WindowConventions::recordGrid(projectTab, projectModel_, QRect(3, 41, 906, 248));
    projectQuery =
        new ProjectQueryTab(queryEdit, queryButton, exportButton, projectGrid, projectModel_, this);
    noticePanel = new QTextEdit(projectTab);
    noticePanel->setReadOnly(true);
    noticePanel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    noticePanel->setGeometry(3, 293, 906, 134);
}

void MainWindow::buildTaskTab() {
    taskTab = new QWidget;
    tabs->addTab(taskTab, QStringLiteral("任务查询"));
    taskGrid = WindowConventions::recordGrid(taskTab, taskModel_, QRect(3, 3, 906, 158));
    TaskGrid::style(
        taskGrid, taskModel_, [this] { return currentMember.displayName; }, TaskGrid::kMainNeutral);
    taskPanel = new TaskPanel(taskTab);
    taskPanel->setGeometry(3, 165, 906, 262);
    completionNoteLabel = taskPanel->completionNoteLabel;
    applyButton = taskPanel->applyButton;
    completeButton = taskPanel->completeButton;
    reeditButton = taskPanel->reeditButton;
    taskWorkflow = new TaskWorkflow(TaskWorkflow::Place::MainWindow, *this, taskGrid, taskRecords,
                                    taskPanel, this);
    taskWorkflow->setReloadGrid([this] {
        taskRecords->load(
            DataAccess::selectMemberTasks(currentMember.displayName, currentMember.displayName));
    });
}

void MainWindow::buildAnalysisTab() {
    // Kept without behaviour: the choices select nothing and the grid stays empty.
    analysisTab = new QWidget;
    tabs->addTab(analysisTab, QStringLiteral("统计分析"));
    auto *people = new QGroupBox(analysisTab);
    people->setGeometry(3, 3, 80, 420);
    const char *names[] = {"Aldren",  "Berric", "Calwen", "Dorvan", "Elsken",
                           "Fennick", "Gessa",  "Halvic", "Ivrel",  "Jorun"};
    for (int i = 0; i < 10; ++i)
        (new QRadioButton(QString::fromLatin1(names[i]), people))->move(8, 32 + 40 * i);
    auto *months = new QGroupBox(analysisTab);
    months->setGeometry(87, 3, 822, 48);
    const QStringList monthNames = {"一月", "二月", "三月", "四月", "五月",   "六月",
                                    "七月", "八月", "九月", "十月", "十一月", "十二月"};
    for (int i = 0; i < monthNames.size(); ++i)
        (new QRadioButton(monthNames[i], months))->move(8 + 67 * i, 18);
    analysisGrid =
        WindowConventions::recordGrid(analysisTab, analysisModel_, QRect(87, 55, 822, 346));
}

void MainWindow::setProjectWindow(ProjectWindow *window) {
    projectQuery->setProjectWindow(window, this);
}

void MainWindow::setMenuWindows(ChildWindow *newProject, ChildWindow *members) {
    newProjectWindow_ = newProject;
    membersWindow_ = members;
}

void MainWindow::setMember(const Member &member) {
    currentMember = member;
    hasMember_ = true;
}

void MainWindow::reload() {
    connection.open();
    if (!gateway) {
        gateway = std::make_unique<AppServerGateway>(&connection);
        DataAccess::setGateway(gateway.get());
    }
    if (!reminderTimer)
        reminderTimer = new IntervalTimer(this);
    reminderTimer->setInterval(kReminderIntervalMs);
    reminderTimer->setHandler([this] { showReminder(); });

    // Before the login has found the member there is nobody to list for: an
    // empty name would match every open project and every task.
    if (!hasMember_)
        return;
    projectRecords->load(
        DataAccess::selectMemberProjects(currentMember.displayName, currentMember.displayName));
    taskRecords->load(
        DataAccess::selectMemberTasks(currentMember.displayName, currentMember.displayName));
    reeditButton->setEnabled(false);
}

void MainWindow::refreshNotices() {
    if (!gateway)
        throw std::runtime_error("The connection to the application server is not open");
    const PDataPacket notices = gateway->openSql(NoticeBoard::panelStatement(AppClock::now()));
    noticeRecords->load(notices);
    // An unchanged answer is the very packet shown already.
    const bool shown = notices == panelNotices_ && currentMember.displayName == panelMember_;
    if (noticeRecords->recordCount() > 0 && !shown) {
        if (panelNotices_ && currentMember.displayName == panelMember_ &&
            NoticeBoard::addNewerLines(noticePanel->document(), *notices, *panelNotices_,
                                       currentMember.displayName))
            noticePanel->verticalScrollBar()->setValue(0); // the newest on top, as after a fill
        else {
            NoticeBoard::fillPanel(noticePanel->document(), *noticeRecords,
                                   currentMember.displayName);
            // The newest notices are on top: the panel opens there, not
            // where the text cursor was left at the end of the fill.
            noticePanel->moveCursor(QTextCursor::Start);
            noticePanel->verticalScrollBar()->setValue(0);
        }
        panelNotices_ = notices;
        panelMember_ = currentMember.displayName;
    }
    reminderTimer->setEnabled(true);
}

void MainWindow::showReminder() {
    // The panel is refreshed whatever happened to the counts; a failure of the
    // counts is passed on after it, leaving the title as far as it got.
    std::exception_ptr failure;
    try {
        RecordSet counted;
        counted.load(
            gateway->openSql(NoticeBoard::projectCountStatement(currentMember.displayName)));
        setWindowTitle(NoticeBoard::titleWithProjects(counted.recordCount()));
        counted.load(gateway->openSql(NoticeBoard::taskCountStatement(currentMember.displayName)));
        setWindowTitle(windowTitle() + NoticeBoard::taskCountSuffix(counted.recordCount()));
    } catch (...) {
        failure = std::current_exception();
    }
    refreshNotices();
    if (failure)
        std::rethrow_exception(failure);
}

void MainWindow::openChild(ChildWindow *child) {
    if (!child)
        return;
    setEnabled(false);
    try {
        child->refill();
    } catch (...) {
        // Never leave the member with a main window that takes no input.
        setEnabled(true);
        throw;
    }
    child->setEnablesOnClose(this);
    child->show();
}

void MainWindow::openNewProjectWindow() {
    guarded([this] { openChild(newProjectWindow_); });
}

void MainWindow::openMemberWindow() {
    guarded([this] { openChild(membersWindow_); });
}

void MainWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    QApplication::quit();
}
