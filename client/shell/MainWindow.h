#pragma once
// The main window: the current member, the connection and the gateway, the
// reminder's timer, the project and task lists, the notice panel and the menu.

#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/records/RecordSet.h"
#include "data/statements/Records.h"
#include "seams/AppShell.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTextEdit;
class ChildWindow;
class IntervalTimer;
class ProjectQueryTab;
class ProjectWindow;
class TaskPanel;
class TaskWorkflow;
class RecordSetModel;
class ChangeWatcher;
class DesktopNotices;
class StatisticsTab;

class MainWindow : public QMainWindow, public AppShell {
    Q_OBJECT
public:
    static constexpr int kWidth = 952, kHeight = 532;
    static constexpr int kReminderIntervalMs = 100000;
    static constexpr int kModalRetryMs = 300; // changes wait this long again while a box is open
    // A reload that failed is tried again after this long, doubling.
    static constexpr int kFirstFollowRetryMs = 2000, kLongestFollowRetryMs = 60000;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The child windows the menu opens.
    void setMenuWindows(ChildWindow *newProject, ChildWindow *members);
    // The window a double-click on the project list opens.
    void setProjectWindow(ProjectWindow *window);

    // What the child windows reach.
    const Member &member() const override { return currentMember; }
    void reloadLists() override { reload(); }
    QWidget *mainWidget() override { return this; }

    // Opens the connection, creates the gateway and the timer once, and loads
    // the member's projects and tasks (once a member is logged in). Throws.
    void reload();
    // Reads again what the window shows (the project list as last queried,
    // the member's tasks, the notices, an open project window), keeping each
    // grid's selected row, scroll position and sort. F5 and the menu's
    // "刷新". Throws.
    void refreshShown();
    // Re-reads the notices into the panel and makes sure the reminder runs. Throws.
    void refreshNotices() override;
    // One reminder: the member's counts in the title, then the panel. Throws.
    void showReminder();

    // What other members changed, told by the server: reloads what the
    // window shows of those tables ("Programe", "Task", "Notice"), keeping
    // the member's place; an open project window follows. A failure is said
    // in the status bar, never in a box. Waits while a box is open.
    void followChanges(const QStringList &tables);
    ChangeWatcher *changeWatcher;

    void setMember(const Member &member);
    // The member changed the own login, name or password: what the member
    // does from now on goes out under the new one, on the gateway's
    // connection and on the watch for changes alike.
    void followOwnLogin(const Member &login);
    bool hasMember() const { return hasMember_; }

    // Components and fields other windows and tests reach.
    Member currentMember;
    ServerConnection connection;
    std::unique_ptr<AppServerGateway> gateway;
    IntervalTimer *reminderTimer = nullptr;

    RecordSet *projectRecords;
    RecordSet *taskRecords;
    RecordSet *noticeRecords;

    QTabWidget *tabs;
    QWidget *projectTab, *taskTab;
    StatisticsTab *analysisTab;
    QLineEdit *queryEdit;
    QPushButton *queryButton, *exportButton;
    QTableView *projectGrid, *taskGrid;
    QTextEdit *noticePanel;
    QLabel *completionNoteLabel;
    QPushButton *applyButton, *completeButton, *reeditButton;
    QAction *newProjectAction, *membersAction, *refreshAction;
    QAction *desktopNoticesAction; // checked: notices for the member on the desktop
    QAction *aboutAction;
    ProjectQueryTab *projectQuery;
    TaskPanel *taskPanel;
    TaskWorkflow *taskWorkflow;

public slots:
    void openNewProjectWindow();
    void openMemberWindow();

protected:
    void closeEvent(QCloseEvent *event) override; // closing the main window ends the program
    void showEvent(QShowEvent *event) override;

private:
    void buildProjectTab();
    void buildTaskTab();
    void buildAnalysisTab();
    void openChild(ChildWindow *child);
    // The project list (the member's query, if any) and the task list, as
    // asked, the member's place in each kept. Throws.
    void reloadShownLists(bool projects, bool tasks);
    void startFollowingChanges();
    // Watches with the connection's address and credentials.
    void watchWithCurrentLogin();
    void followPendingChanges();
    // The member's counts in the title. Throws.
    void refreshTitle();

    RecordSetModel *projectModel_, *taskModel_;
    ChildWindow *newProjectWindow_ = nullptr;
    ChildWindow *membersWindow_ = nullptr;
    ProjectWindow *projectWindow_ = nullptr;
    bool hasMember_ = false;
    // What the notice panel shows, so the same rows for the same member are
    // not laid out again.
    PDataPacket panelNotices_;
    QString panelMember_;
    QStringList pendingTables_; // changes told while a box was open, or not yet reloaded
    int followRetryMs_ = kFirstFollowRetryMs;
    DesktopNotices *desktopNotices_;
};
