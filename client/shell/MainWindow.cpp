#include "shell/MainWindow.h"

#include "data/DataAccess.h"
#include "data/connection/ChangeWatcher.h"
#include "data/records/RecordSetModel.h"
#include "notices/NoticeBoard.h"
#include "projects/ProjectQueryTab.h"
#include "projects/ProjectWindow.h"
#include "seams/AppClock.h"
#include "seams/ChildWindow.h"
#include "seams/ErrorGuard.h"
#include "shell/AboutBox.h"
#include "shell/DesktopNotices.h"
#include "shell/LoginSettings.h"
#include "statistics/StatisticsTab.h"
#include "tasks/TaskGrid.h"
#include "tasks/TaskPanel.h"
#include "tasks/TaskWorkflow.h"
#include "timer/IntervalTimer.h"
#include "widgets/KeptView.h"
#include "widgets/WindowConventions.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Solvane项目管理平台"));
    setFont(WindowConventions::windowFont());

    projectRecords = new RecordSet(this);
    taskRecords = new RecordSet(this);
    noticeRecords = new RecordSet(this);
    projectModel_ = new RecordSetModel(projectRecords, this);
    taskModel_ = new RecordSetModel(taskRecords, this);

    auto *menu = menuBar();
    newProjectAction =
        menu->addAction(QStringLiteral("添加项目(&A)"), this, &MainWindow::openNewProjectWindow);
    membersAction =
        menu->addAction(QStringLiteral("成员管理(&U)"), this, &MainWindow::openMemberWindow);
    refreshAction = menu->addAction(QStringLiteral("刷新(&R)"), this,
                                    [this] { guarded([this] { refreshShown(); }); });
    refreshAction->setShortcut(QKeySequence::Refresh);
    refreshAction->setToolTip(QStringLiteral("刷新列表和通告 (F5)"));
    auto *help = menu->addMenu(QStringLiteral("帮助(&H)"));
    desktopNoticesAction = help->addAction(QStringLiteral("桌面通知(&N)"));
    desktopNoticesAction->setCheckable(true);
    desktopNoticesAction->setChecked(LoginSettings::desktopNotices());
    desktopNoticesAction->setToolTip(
        QStringLiteral("窗口不在前台时，与你有关的新通告在桌面上提示"));
    connect(desktopNoticesAction, &QAction::toggled, this,
            [](bool on) { LoginSettings::setDesktopNotices(on); });
    aboutAction = help->addAction(QStringLiteral("关于Solvane"), this,
                                  [this] { AboutBox::show(connection); });

    desktopNotices_ = new DesktopNotices(this);
    changeWatcher = new ChangeWatcher(this);
    connect(changeWatcher, &ChangeWatcher::tablesChanged, this, &MainWindow::followChanges);

    auto *client = new QWidget(this);
    setCentralWidget(client);
    tabs = new QTabWidget(client);
    auto *clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(8, 8, 8, 8);
    clientLayout->addWidget(tabs);
    buildProjectTab();
    buildTaskTab();
    buildAnalysisTab();

    WindowConventions::openInWorkArea(this, QSize(kWidth, kHeight));
    tabs->setCurrentIndex(0);
    WindowConventions::clearInputMethodHints(this);
}

MainWindow::~MainWindow() {
    // The watcher's thread and the timer go first, so nothing reaches a
    // window being torn down.
    changeWatcher->stop();
    delete reminderTimer;
    reminderTimer = nullptr;
    // Another shell of the same process may have set its own gateway since.
    DataAccess::releaseGateway(gateway.get());
}

void MainWindow::buildProjectTab() {
    projectTab = new QWidget;
    tabs->addTab(WindowConventions::scrolling(projectTab), QStringLiteral("项目查询"));
    auto *queryLabel = new QLabel(QStringLiteral("查询条件："), projectTab);
    queryEdit = new QLineEdit(projectTab);
    queryLabel->setBuddy(queryEdit);
    queryButton = new QPushButton(QStringLiteral("查询"), projectTab);
    exportButton = new QPushButton(QStringLiteral("导出Excel"), projectTab);
    for (QPushButton *button : {queryButton, exportButton})
        button->setAutoDefault(true); // Enter presses the button that has the focus
    projectGrid = WindowConventions::recordGrid(projectTab, projectModel_, QRect());
    projectGrid->setAccessibleName(QStringLiteral("项目列表"));
    projectQuery =
        new ProjectQueryTab(queryEdit, queryButton, exportButton, projectGrid, projectModel_, this);
    noticePanel = new QTextEdit(projectTab);
    noticePanel->setReadOnly(true);
    noticePanel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    noticePanel->setAccessibleName(QStringLiteral("通告"));

    auto *query = new QHBoxLayout;
    query->addWidget(queryLabel);
    query->addWidget(queryEdit, 1);
    query->addSpacing(22);
    query->addWidget(queryButton);
    query->addSpacing(22);
    query->addWidget(exportButton);
    // The member sets how much room the list and the notices take.
    auto *split = new QSplitter(Qt::Vertical, projectTab);
    split->addWidget(projectGrid);
    split->addWidget(noticePanel);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 248);
    split->setStretchFactor(1, 134);
    split->setSizes({248, 134});
    auto *page = new QVBoxLayout(projectTab);
    page->setContentsMargins(3, 8, 3, 3);
    page->addLayout(query);
    page->addWidget(split, 1);
}

void MainWindow::buildTaskTab() {
    taskTab = new QWidget;
    tabs->addTab(WindowConventions::scrolling(taskTab), QStringLiteral("任务查询"));
    taskGrid = WindowConventions::recordGrid(taskTab, taskModel_, QRect());
    taskGrid->setAccessibleName(QStringLiteral("任务列表"));
    TaskGrid::style(
        taskGrid, taskModel_, [this] { return currentMember.displayName; }, TaskGrid::kMainNeutral);
    taskPanel = new TaskPanel(taskTab);
    completionNoteLabel = taskPanel->completionNoteLabel;
    applyButton = taskPanel->applyButton;
    completeButton = taskPanel->completeButton;
    reeditButton = taskPanel->reeditButton;
    taskWorkflow = new TaskWorkflow(TaskWorkflow::Place::MainWindow, *this, taskGrid, taskRecords,
                                    taskPanel, this);
    taskWorkflow->setReloadGrid([this] {
        taskRecords->load(rowsOf(
            DataAccess::selectMemberTasks(currentMember.displayName, currentMember.displayName)));
    });
    auto *split = new QSplitter(Qt::Vertical, taskTab);
    split->addWidget(taskGrid);
    split->addWidget(taskPanel);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({158, 262});
    auto *page = new QVBoxLayout(taskTab);
    page->setContentsMargins(3, 3, 3, 3);
    page->addWidget(split);
}

void MainWindow::buildAnalysisTab() {
    analysisTab = new StatisticsTab;
    tabs->addTab(WindowConventions::scrolling(analysisTab), QStringLiteral("统计分析"));
}

void MainWindow::setProjectWindow(ProjectWindow *window) {
    projectWindow_ = window;
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
    if (const auto failure = DataAccess::open(connection))
        throw RequestFailed(*failure);
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
    startFollowingChanges();
    projectQuery->forgetQuery();
    projectRecords->load(rowsOf(
        DataAccess::selectMemberProjects(currentMember.displayName, currentMember.displayName)));
    taskRecords->load(rowsOf(
        DataAccess::selectMemberTasks(currentMember.displayName, currentMember.displayName)));
    reeditButton->setEnabled(false);
}

void MainWindow::refreshShown() {
    if (!hasMember_ || !gateway)
        return;
    reloadShownLists(true, true);
    refreshNotices();
    if (projectWindow_ && projectWindow_->isVisible())
        projectWindow_->refreshShown();
}

void MainWindow::reloadShownLists(bool projects, bool tasks) {
    // Rows are found again by their keys: a project by its number, a task by
    // its project, content and dispatcher.
    const KeptView keptProjects(projectGrid, {0});
    const KeptView keptTasks(taskGrid, {0, 1, 2});
    if (projects) {
        const std::optional<QString> query = projectQuery->shownQuery();
        projectRecords->load(
            rowsOf(query ? DataAccess::queryProjects(*query)
                         : DataAccess::selectMemberProjects(currentMember.displayName,
                                                            currentMember.displayName)));
    }
    if (tasks)
        taskRecords->load(rowsOf(
            DataAccess::selectMemberTasks(currentMember.displayName, currentMember.displayName)));
}

void MainWindow::followOwnLogin(const Member &login) {
    currentMember = login;
    connection.setCredentials(login.userName, login.password);
    // A watch under the former login would be refused for good, and each
    // refusal counts as a failed login against the member.
    if (changeWatcher->watching())
        watchWithCurrentLogin();
}

void MainWindow::startFollowingChanges() {
    if (!changeWatcher->watching())
        watchWithCurrentLogin();
}

void MainWindow::watchWithCurrentLogin() {
    ChangeWatcher::Server server;
    server.host = connection.hostName();
    server.port = connection.port();
    server.context = connection.context();
    server.tls = connection.tls();
    server.caFile = connection.caFile();
    server.userName = connection.userName();
    server.password = connection.password();
    changeWatcher->start(server);
}

void MainWindow::followChanges(const QStringList &tables) {
    for (const QString &table : tables)
        if (!pendingTables_.contains(table))
            pendingTables_ << table;
    followPendingChanges();
}

void MainWindow::followPendingChanges() {
    if (pendingTables_.isEmpty() || !hasMember_ || !gateway)
        return;
    // A box waits for the member's answer in the middle of an action: the
    // lists stay as the action found them until it is closed.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(kModalRetryMs, this, &MainWindow::followPendingChanges);
        return;
    }
    const QStringList tables = std::exchange(pendingTables_, {});
    const bool projects = tables.contains(QStringLiteral("Programe"));
    const bool tasks = tables.contains(QStringLiteral("Task"));
    try {
        if (projects || tasks) {
            reloadShownLists(projects, tasks);
            refreshTitle();
        }
        if (tables.contains(QStringLiteral("Notice"))) {
            const PDataPacket before = panelNotices_;
            refreshNotices();
            if (!isActiveWindow() && desktopNoticesAction->isChecked())
                desktopNotices_->tell(
                    NoticeBoard::newNoticesFor(panelNotices_, before, currentMember.displayName));
        }
        if ((projects || tasks) && projectWindow_ && projectWindow_->isVisible()) {
            const QString shown = projectWindow_->project.id.trimmed();
            switch (projectWindow_->followStoredChanges()) {
            case ProjectWindow::StoredProject::Changed:
                statusBar()->showMessage(
                    QStringLiteral("项目%1已被其他成员修改，窗口显示的是修改后的内容。")
                        .arg(shown));
                break;
            case ProjectWindow::StoredProject::Gone:
                statusBar()->showMessage(QStringLiteral("项目%1已被删除。").arg(shown));
                break;
            case ProjectWindow::StoredProject::Unchanged:
                break;
            }
        }
        followRetryMs_ = kFirstFollowRetryMs;
    } catch (const RequestFailed &failed) {
        // Tried again a while later (sooner on the next change or F5); the
        // member's work goes on meanwhile.
        statusBar()->showMessage(QStringLiteral("未能刷新：") + failed.failure.text());
        for (const QString &table : tables)
            if (!pendingTables_.contains(table))
                pendingTables_ << table;
        QTimer::singleShot(followRetryMs_, this, &MainWindow::followPendingChanges);
        followRetryMs_ = std::min(followRetryMs_ * 2, kLongestFollowRetryMs);
    }
}

void MainWindow::refreshTitle() {
    // Each count shows as soon as it is known: a failure leaves the title as
    // far as it got.
    RecordSet counted;
    counted.load(rowsOf(DataAccess::selectOpenProjectsOf(currentMember.displayName)));
    setWindowTitle(NoticeBoard::titleWithProjects(counted.recordCount()));
    counted.load(rowsOf(DataAccess::selectUnfinishedTasksOf(currentMember.displayName)));
    setWindowTitle(windowTitle() + NoticeBoard::taskCountSuffix(counted.recordCount()));
}

void MainWindow::showEvent(QShowEvent *event) {
    // Sent before the window appears: it opens inside the work area.
    if (!event->spontaneous())
        WindowConventions::keepInWorkArea(this);
    QMainWindow::showEvent(event);
}

void MainWindow::refreshNotices() {
    const PDataPacket notices = rowsOf(DataAccess::selectPanelNotices(AppClock::now()));
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
        refreshTitle();
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
    child->keepInFrontOf(this);
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
