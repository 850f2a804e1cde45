#pragma once
// The main window: the current member, the connection and the gateway, the
// reminder's timer, the project and task lists, the notice panel and the menu.

#include "ClientClassess.h"
#include "RecordSet.h"
#include "ServerConnection.h"
#include "records.h"

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
class TTarnelTimer;
class RecordSetModel;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 952, kHeight = 532;
    static constexpr int kReminderIntervalMs = 100000;

    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // The child windows the menu opens.
    void setMenuWindows(ChildWindow *newProject, ChildWindow *members);

    // Opens the connection, creates the gateway and the timer once, and loads
    // the member's projects and tasks (once a member is logged in). Throws.
    void FormInit();
    // Re-reads the notices into the panel and makes sure the reminder runs. Throws.
    void FormNotice();
    // One reminder: the member's counts in the title, then the panel. Throws.
    void TimerShow(QObject *Sender);

    void setMember(const TLogininf &member);
    bool hasMember() const { return hasMember_; }

    // Components and fields other windows and tests reach.
    TLogininf mLogininf;
    ServerConnection mSQLCon;
    std::unique_ptr<TZelServerDataBaseClient> mClient;
    TTarnelTimer *Timer = nullptr;
    TTaskInf mTaskInf;
    TNoticeinf mNotice;

    RecordSet *ProDataSet;
    RecordSet *TaskDataSet;
    RecordSet *NoticeDataSet;
    RecordSet *DataSet;

    QTabWidget *mPage;
    QWidget *ProTab, *TaskTab, *AnalysisTab;
    QLineEdit *Edit1;
    QPushButton *nSelect, *Button1;
    QTableView *ProGrid, *TaskGurid, *DataGrid;
    QTextEdit *NoticeEdit;
    QLabel *Label7;
    QPushButton *nApply, *nComplete, *nUpdata;
    QAction *N1, *N2;

public slots:
    void N1Click();
    void N2Click();

protected:
    void closeEvent(QCloseEvent *event) override; // FormClose

private:
    void FormCreate();
    void buildProjectTab();
    void buildTaskTab();
    void buildAnalysisTab();
    void openChild(ChildWindow *child);

    RecordSetModel *proModel_, *taskModel_, *dataModel_;
    ChildWindow *newProjectWindow_ = nullptr;
    ChildWindow *membersWindow_ = nullptr;
    bool hasMember_ = false;
};
