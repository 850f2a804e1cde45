#pragma once
// The project window: one project on four sheets (the project with its flow
// nodes, its tasks, their progress per staff member, and the history of its
// changes). Any member adds
// flow nodes, dispatches tasks and re-edits the project; its creator
// completes it or, while it has no tasks, deletes it.

#include "data/statements/Records.h"
#include "seams/ChildWindow.h"

#include <functional>

class AppShell;
class HistorySheet;
class NewProjectWindow;
class ProgressSheet;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;
class RecordSet;
class RecordSetModel;
class TaskPanel;
class TaskWorkflow;

class ProjectWindow : public ChildWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 675, kHeight = 593;
    static inline const QString kCompleteCaption = QStringLiteral("完成");
    static inline const QString kDeleteCaption = QStringLiteral("删除项目");

    // What the complete button does; "完成"/"删除项目" only show it.
    enum class CompleteAction { Complete, Delete };

    ProjectWindow(AppShell &shell, NewProjectWindow *editor, QWidget *parent = nullptr);
    CompleteAction completeAction() const { return completeAction_; }
    // The caption follows: a pointer moving over the button swaps both.
    void setCompleteAction(CompleteAction action);

    // Shows a project: the record is set, then the window filled. Another
    // project locks the task sheet's actions until one of its tasks is opened.
    void setProject(const Project &shown);
    // Re-reads the project's tasks and fills every sheet from the record.
    void refill() override;
    // The same, keeping the task grid's selected row and scroll position: what
    // others changed shows without losing the member's place. F5.
    void refreshShown();
    // What another member changed: the project's stored row and its tasks
    // read again, the member's place kept, nothing written. Throws.
    enum class StoredProject { Unchanged, Changed, Gone };
    StoredProject followStoredChanges();
    // Opens the dispatch window for a new task of the shown project.
    void setDispatchOpener(std::function<void()> opener) { openDispatch_ = std::move(opener); }

    Project project; // the project shown

    QTabWidget *sheets;
    QWidget *projectSheet, *taskSheet, *progressSheet, *historySheet;
    QLabel *numberLabel, *sourceLabel, *aimLabel, *contentLabel, *performersLabel, *createTimeLabel,
        *dueTimeLabel, *taskCountLabel;
    QRadioButton *kindButtons[3];
    QPushButton *completeButton, *reeditButton, *addNodeButton, *dispatchButton;
    QPlainTextEdit *flowNodeBox;
    QLineEdit *nodeEdit;
    QTableView *taskGrid;
    RecordSet *taskRecords;
    RecordSetModel *taskModel;
    TaskPanel *taskPanel;
    TaskWorkflow *taskWorkflow;
    ProgressSheet *progressGrid;
    RecordSet *progressRecords;
    HistorySheet *historyGrid;

public slots:
    void addFlowNode();
    void completeOrDelete();
    void reedit();
    void dispatchTask();

protected:
    // Each pointer movement over the complete button swaps its caption.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildProjectSheet();
    void buildTaskSheet();
    void showProject();
    void loadTasks();
    void loadHistory();
    void showFlowNodes();
    bool storeProject(Project changed, const QString &failure, const QString &caption);
    void offerNothingOnGoneProject();
    // The stored project's task count as its tasks stand now; the record's
    // count when they cannot be read.
    QString currentTaskCount() const;
    void followUpdated(const Project &edited);
    void deleteProject();
    void completeProject();

    AppShell &shell_;
    NewProjectWindow *editor_;
    std::function<void()> openDispatch_;
    CompleteAction completeAction_ = CompleteAction::Complete;
};
