#include "projects/ProjectWindow.h"

#include "data/DataAccess.h"
#include "data/ReadBack.h"
#include "data/SettledChange.h"
#include "data/records/RecordRows.h"
#include "data/records/RecordSet.h"
#include "data/records/RecordSetModel.h"
#include "data/statements/SqlValues.h"
#include "data/statements/TimeText.h"
#include "members/MemberRights.h"
#include "notices/NoticePost.h"
#include "projects/NewProjectWindow.h"
#include "projects/HistorySheet.h"
#include "projects/ProgressSheet.h"
#include "projects/ProjectRules.h"
#include "seams/AppClock.h"
#include "seams/AppShell.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "tasks/TaskGrid.h"
#include "tasks/TaskPanel.h"
#include "tasks/TaskWorkflow.h"
#include "widgets/KeptView.h"
#include "widgets/WindowConventions.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

using SqlValues::trimmed;

// A caption and its value in the next row of the fields; long values wrap.
QLabel *fieldRow(const QString &caption, QGridLayout *fields, int row, int column = 0,
                 bool wraps = true) {
    QWidget *sheet = fields->parentWidget();
    auto *title = new QLabel(caption, sheet);
    auto *value = new QLabel(sheet);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(wraps);
    value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    title->setBuddy(value);
    fields->addWidget(title, row, column, Qt::AlignTop | Qt::AlignLeft);
    fields->addWidget(value, row, column + 1, 1, column ? 1 : wraps ? 3 : 1, Qt::AlignTop);
    return value;
}

QString noticeOf(const Project &project, const QString &what) {
    return QStringLiteral("项目编号:") + project.id + what;
}

} // namespace

ProjectWindow::ProjectWindow(AppShell &shell, NewProjectWindow *editor, QWidget *parent)
    : ChildWindow(QStringLiteral("项目/任务详情及项目流程完结清单"), kWidth, kHeight, parent),
      shell_(shell), editor_(editor) {
    taskRecords = new RecordSet(this);
    progressRecords = new RecordSet(this);
    sheets = new QTabWidget(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(sheets);
    buildProjectSheet();
    buildTaskSheet();
    progressSheet = new QWidget;
    sheets->addTab(WindowConventions::scrolling(progressSheet), QStringLiteral("项目流程进度情况"));
    progressGrid = new ProgressSheet(progressSheet);
    progressGrid->setAccessibleName(QStringLiteral("项目流程进度情况"));
    auto *progressLayout = new QVBoxLayout(progressSheet);
    progressLayout->setContentsMargins(4, 4, 4, 4);
    progressLayout->addWidget(progressGrid);
    historySheet = new QWidget;
    sheets->addTab(historySheet, QStringLiteral("变更历史"));
    historyGrid = new HistorySheet(historySheet);
    auto *historyLayout = new QVBoxLayout(historySheet);
    historyLayout->setContentsMargins(4, 4, 4, 4);
    historyLayout->addWidget(historyGrid);
    sheets->setCurrentIndex(0);
    if (editor_)
        connect(editor_, &NewProjectWindow::projectUpdated, this, &ProjectWindow::followUpdated);
    auto *refresh = new QShortcut(QKeySequence::Refresh, this);
    connect(refresh, &QShortcut::activated, this, [this] { guarded([this] { refreshShown(); }); });
    WindowConventions::clearInputMethodHints(this);
}

void ProjectWindow::buildProjectSheet() {
    projectSheet = new QWidget;
    sheets->addTab(WindowConventions::scrolling(projectSheet), QStringLiteral("项目详情"));
    auto *fields = new QGridLayout;
    // The grid belongs to the sheet before its rows are made there.
    auto *top = new QHBoxLayout;
    auto *page = new QVBoxLayout(projectSheet);
    page->setContentsMargins(16, 12, 16, 12);
    page->addLayout(top);
    top->addLayout(fields, 1);
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(8);

    numberLabel = fieldRow(QStringLiteral("立项编号："), fields, 0, 0, false);
    QFont bold = numberLabel->font();
    bold.setBold(true);
    numberLabel->setFont(bold);
    auto *kindCaption = new QLabel(QStringLiteral("任务种类："), projectSheet);
    fields->addWidget(kindCaption, 1, 0);
    auto *kinds = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        kindButtons[i] =
            new QRadioButton(ProjectRules::caption(ProjectRules::kKinds[i]), projectSheet);
        // Shows the kind; the member cannot change it here.
        kindButtons[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        kindButtons[i]->setFocusPolicy(Qt::NoFocus);
        kinds->addWidget(kindButtons[i]);
    }
    kinds->addStretch(1);
    fields->addLayout(kinds, 1, 1, 1, 3);
    sourceLabel = fieldRow(QStringLiteral("项目来源："), fields, 2);
    aimLabel = fieldRow(QStringLiteral("项目目的："), fields, 3);
    contentLabel = fieldRow(QStringLiteral("项目内容："), fields, 4);
    performersLabel = fieldRow(QStringLiteral("项目执行人："), fields, 5);
    createTimeLabel = fieldRow(QStringLiteral("创建时间："), fields, 6, 0, false);
    dueTimeLabel = fieldRow(QStringLiteral("完成时间："), fields, 6, 2, false);
    taskCountLabel = fieldRow(QStringLiteral("任务派发情况："), fields, 7);
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(3, 1);

    completeButton = new QPushButton(kCompleteCaption, projectSheet);
    completeButton->setFixedSize(120, 110);
    QFont large = completeButton->font();
    large.setPointSize(large.pointSize() + 6);
    completeButton->setFont(large);
    completeButton->setMouseTracking(true);
    completeButton->installEventFilter(this);
    reeditButton = new QPushButton(QStringLiteral("重新编辑"), projectSheet);
    reeditButton->setFixedSize(120, 30);
    auto *actions = new QVBoxLayout;
    actions->setContentsMargins(0, 8, 0, 0);
    actions->setSpacing(20);
    actions->addWidget(completeButton);
    actions->addWidget(reeditButton);
    actions->addStretch(1);
    top->addSpacing(12);
    top->addLayout(actions);

    auto *nodesCaption = new QLabel(QStringLiteral("项目节点流程信息："), projectSheet);
    flowNodeBox = new QPlainTextEdit(projectSheet);
    flowNodeBox->setReadOnly(true);
    flowNodeBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    flowNodeBox->setMinimumHeight(60);
    // It takes what room is left; on a small screen it gives way before the
    // sheet has to scroll (the wrapping labels make the sheet ask for its
    // preferred height, and a text box prefers to be tall).
    flowNodeBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    nodesCaption->setBuddy(flowNodeBox);
    nodeEdit = new QLineEdit(QStringLiteral("“请在此处发布该项目/任务流程节点”"), projectSheet);
    nodeEdit->setAccessibleName(QStringLiteral("新节点"));
    addNodeButton = new QPushButton(QStringLiteral("添加节点"), projectSheet);
    dispatchButton = new QPushButton(QStringLiteral("派发任务"), projectSheet);
    page->addSpacing(6);
    page->addWidget(nodesCaption);
    page->addWidget(flowNodeBox, 1);
    auto *nodeRow = new QHBoxLayout;
    nodeRow->addWidget(nodeEdit, 1);
    nodeRow->addSpacing(4);
    for (QPushButton *button : {addNodeButton, dispatchButton}) {
        button->setMinimumSize(90, 28);
        nodeRow->addWidget(button);
    }
    page->addLayout(nodeRow);
    for (QPushButton *button : {completeButton, reeditButton, addNodeButton, dispatchButton})
        button->setAutoDefault(true); // Enter presses the button that has the focus

    connect(completeButton, &QPushButton::clicked, this, &ProjectWindow::completeOrDelete);
    connect(reeditButton, &QPushButton::clicked, this, &ProjectWindow::reedit);
    connect(addNodeButton, &QPushButton::clicked, this, &ProjectWindow::addFlowNode);
    connect(nodeEdit, &QLineEdit::returnPressed, this, &ProjectWindow::addFlowNode);
    connect(dispatchButton, &QPushButton::clicked, this, &ProjectWindow::dispatchTask);
}

void ProjectWindow::buildTaskSheet() {
    taskSheet = new QWidget;
    sheets->addTab(WindowConventions::scrolling(taskSheet), QStringLiteral("任务详情"));
    taskModel = new RecordSetModel(taskRecords, this);
    taskGrid = WindowConventions::recordGrid(taskSheet, taskModel, QRect());
    taskGrid->setAccessibleName(QStringLiteral("任务列表"));
    taskPanel = new TaskPanel(taskSheet);
    taskWorkflow = new TaskWorkflow(TaskWorkflow::Place::ProjectWindow, shell_, taskGrid,
                                    taskRecords, taskPanel, this);
    taskWorkflow->setReloadGrid(
        [this] { taskRecords->load(rowsOf(DataAccess::selectProjectTasks(project.id, true))); });
    TaskGrid::style(
        taskGrid, taskModel, [this] { return shell_.member().displayName; },
        TaskGrid::kProjectNeutral);
    auto *split = new QSplitter(Qt::Vertical, taskSheet);
    split->addWidget(taskGrid);
    split->addWidget(taskPanel);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({250, 262});
    auto *page = new QVBoxLayout(taskSheet);
    page->setContentsMargins(4, 4, 4, 4);
    page->addWidget(split);
}

void ProjectWindow::setProject(const Project &shown) {
    if (shown.id != project.id)
        taskWorkflow->lockActions();
    project = shown;
}

// The editor replaced a project's row: if it is the one shown, the record
// takes the edited values.
void ProjectWindow::followUpdated(const Project &edited) {
    if (trimmed(edited.id) != trimmed(project.id))
        return;
    project = RecordRows::trimmed(edited);
    if (isVisible())
        guarded([this] { refill(); });
}

bool ProjectWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == completeButton && event->type() == QEvent::MouseMove)
        setCompleteAction(completeAction_ == CompleteAction::Complete ? CompleteAction::Delete
                                                                      : CompleteAction::Complete);
    return ChildWindow::eventFilter(watched, event);
}

void ProjectWindow::setCompleteAction(CompleteAction action) {
    completeAction_ = action;
    completeButton->setText(action == CompleteAction::Complete ? kCompleteCaption
                                                               : kDeleteCaption);
}

void ProjectWindow::refill() {
    loadTasks();
    showProject();
    // The stored count follows the tasks that exist; a failed write changes
    // nothing shown. The record keeps it, so that a later write of the
    // project does not put back the count read when the window opened.
    project.taskCount = QString::number(taskRecords->recordCount());
    DataAccess::updateProjectTaskCount(project.taskCount, project);
}

void ProjectWindow::loadTasks() {
    progressGrid->clearToTitles();
    taskRecords->load(rowsOf(DataAccess::selectProjectTasks(project.id, true)));
    progressRecords->load(rowsOf(DataAccess::selectProjectTasks(project.id, false)));
    progressGrid->fill(*progressRecords, AppClock::now());
    loadHistory();
}

// A server without the journal (an older one) leaves the sheet saying so;
// the rest of the window does not depend on it.
void ProjectWindow::loadHistory() {
    const QueryResult history = DataAccess::selectProjectHistory(project.id);
    if (history.ok())
        historyGrid->fill(*history.rows());
    else
        historyGrid->showUnreadable(history.failure().reason);
}

void ProjectWindow::showProject() {
    const QDateTime now = AppClock::now();
    numberLabel->setText(trimmed(project.id));
    sourceLabel->setText(trimmed(project.source));
    aimLabel->setText(trimmed(project.aim));
    contentLabel->setText(trimmed(project.content));

    const int tasks = taskRecords->recordCount();
    setCompleteAction(tasks > 0 ? CompleteAction::Complete : CompleteAction::Delete);
    for (QPushButton *button : {reeditButton, addNodeButton, dispatchButton}) {
        button->setEnabled(true);
        button->setToolTip({});
    }
    // Only the creator completes or deletes a project: anyone else is not offered it.
    const bool creator = trimmed(project.creator) == trimmed(shell_.member().displayName);
    completeButton->setEnabled(creator);
    completeButton->setToolTip(creator ? QString()
                                       : QStringLiteral("只有项目的创建人才能完成或删除该项目。"));
    performersLabel->setText(trimmed(project.performers));
    createTimeLabel->setText(trimmed(project.createTime));
    dueTimeLabel->setText(trimmed(project.dueTime));
    kindButtons[static_cast<int>(ProjectRules::kindOfNumber(numberLabel->text()))]->setChecked(
        true);

    const auto state = ProjectRules::state(project.completeFlag, project.dueTime, now);
    if (state == ProjectRules::State::Completed) {
        completeButton->setEnabled(false);
        completeButton->setToolTip(QStringLiteral("该项目已经完成。"));
    }
    const QColor colour = ProjectRules::colour(state);
    QPalette palette = numberLabel->palette();
    palette.setColor(QPalette::WindowText, colour);
    numberLabel->setPalette(palette);

    showFlowNodes();
    taskCountLabel->setText(QStringLiteral("此项目共有") + QString::number(tasks) +
                            QStringLiteral("条派送任务。"));
}

void ProjectWindow::refreshShown() {
    const KeptView kept(taskGrid, {0, 1, 2});
    refill();
}

ProjectWindow::StoredProject ProjectWindow::followStoredChanges() {
    // Nothing is written here: a write would be a change that every window
    // following this project follows in turn, without end.
    RecordSet rows;
    rows.load(rowsOf(DataAccess::selectProject(project.id)));
    const KeptView kept(taskGrid, {0, 1, 2});
    loadTasks();
    StoredProject told = StoredProject::Unchanged;
    if (rows.recordCount() == 0)
        told = StoredProject::Gone;
    else if (const Project stored = RecordRows::projectAt(rows, 0); !ReadBack::same(stored, project)) {
        project = stored;
        told = StoredProject::Changed;
    }
    showProject();
    if (told == StoredProject::Gone)
        offerNothingOnGoneProject();
    return told;
}

// A project deleted or re-keyed elsewhere: every action on it could only fail.
void ProjectWindow::offerNothingOnGoneProject() {
    for (QPushButton *button : {completeButton, reeditButton, addNodeButton, dispatchButton}) {
        button->setEnabled(false);
        button->setToolTip(QStringLiteral("该项目已被他人删除或修改了项目编号。"));
    }
    taskWorkflow->lockActions();
}

void ProjectWindow::showFlowNodes() {
    flowNodeBox->clear();
    for (const QString &line : ProjectRules::flowNodeLines(project.flowNodes))
        flowNodeBox->appendPlainText(line);
}

// Writes the changed record; on success it becomes the record shown. On
// failure the member is told and the record stays as the server holds it.
bool ProjectWindow::storeProject(Project changed, const QString &failure, const QString &caption) {
    // Another member may have dispatched since the last fill.
    changed.taskCount = currentTaskCount();
    const SettledChange stored = SettledChange::of(
        DataAccess::updateProject(changed.performers, changed.completeFlag, changed.taskCount,
                                  changed.flowNodes, changed),
        [&] { return ReadBack::project(changed); });
    if (!stored.made()) {
        Dialogs::message(failure + QStringLiteral("\r") + stored.text, caption,
                         QMessageBox::Critical);
        return false;
    }
    if (!stored.madeOnARow()) {
        // The row the window showed is no longer stored as shown: nothing
        // changed, and the window shows what is stored now.
        Dialogs::message(failure + QStringLiteral("\r该项目已被他人修改或删除，数据未改变。"
                                                  "窗口已刷新，请核对后再试。"),
                         caption, QMessageBox::Warning);
        followStoredChanges();
        shell_.reloadLists();
        return false;
    }
    project = changed;
    return true;
}

QString ProjectWindow::currentTaskCount() const {
    const QueryResult tasks = DataAccess::selectProjectTasks(project.id, true);
    return tasks.ok() ? QString::number(tasks.rows()->rowCount()) : project.taskCount;
}

void ProjectWindow::addFlowNode() {
    guarded([this] {
        const QString author = shell_.member().displayName;
        const bool first = trimmed(project.flowNodes).isEmpty();
        Project changed = project;
        changed.flowNodes = ProjectRules::withFlowNode(project.flowNodes, nodeEdit->text(), author);
        if (!storeProject(changed, QStringLiteral("添加节点出错！"), QStringLiteral("项目节点")))
            return; // the typed node stays in the edit for another try
        showFlowNodes();
        nodeEdit->clear();
        if (!first)
            NoticePost::post(shell_, noticeOf(project, QStringLiteral(" 添加了新的节点信息！")),
                             author, project.performers);
        shell_.reloadLists();
    });
}

void ProjectWindow::completeOrDelete() {
    guarded([this] {
        switch (completeAction_) {
        case CompleteAction::Delete:
            deleteProject();
            break;
        case CompleteAction::Complete:
            completeProject();
            break;
        }
    });
}

void ProjectWindow::deleteProject() {
    const QString caption = QStringLiteral("删除项目");
    if (taskRecords->recordCount() > 0) {
        Dialogs::message(QStringLiteral("该项目已存在派发任务，无法删除"), caption,
                         QMessageBox::Critical);
        return;
    }
    // A deletion cannot be taken back, and the caption swaps on every pointer movement.
    if (Dialogs::message(QStringLiteral("是否删除项目编号:") + project.id +
                             QStringLiteral("的项目？删除后无法恢复。"),
                         caption, QMessageBox::Question,
                         QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const SettledChange deleted = SettledChange::of(
        DataAccess::deleteProject(project.id), [&] { return ReadBack::projectGone(project.id); });
    if (!deleted.made()) {
        Dialogs::message(QStringLiteral("删除项目出错！\r") + deleted.text, caption,
                         QMessageBox::Critical);
        return;
    }
    Dialogs::message(QStringLiteral("已成功删除该项目"), caption, QMessageBox::Information);
    close(); // nothing is left to show; the main window takes input again
    shell_.reloadLists();
    NoticePost::post(shell_, noticeOf(project, QStringLiteral(" 已由项目/任务创建人删除")),
                     shell_.member().displayName, project.performers);
}

void ProjectWindow::completeProject() {
    const int state = taskRecords->fieldIndex(QStringLiteral("TaskCompleteFlag"));
    for (int row = 0; row < taskRecords->recordCount(); ++row) {
        if (state < 0 || trimmed(taskRecords->value(row, state)) != QLatin1String("2")) {
            Dialogs::message(
                QStringLiteral("存在未完成的派发任务，请双击派发任务显示状态条以查看详细信息！"),
                QStringLiteral("完成项目/任务"), QMessageBox::Information);
            return;
        }
    }
    const QString question = QStringLiteral("项目编号:") + project.id +
                             QStringLiteral("\r项目内容:") + project.content +
                             QStringLiteral("\r确认该项目提交完成？");
    const QString caption = QStringLiteral("项目完成");
    if (Dialogs::message(question, caption, QMessageBox::Information,
                         QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    Project changed = project;
    changed.completeFlag = QStringLiteral("Yes");
    if (!storeProject(changed, QStringLiteral("完成项目出错！"), caption))
        return;
    shell_.reloadLists();
    NoticePost::post(shell_, noticeOf(project, QStringLiteral(" 已成功完成！")),
                     shell_.member().displayName, project.performers);
    refill(); // the completed colour, the button disabled
}

void ProjectWindow::reedit() {
    guarded([this] {
        if (!editor_)
            return;
        QStringList unreadable;
        for (const QLabel *time : {createTimeLabel, dueTimeLabel})
            if (!TimeText::parse(time->text()).isValid())
                unreadable << time->text();
        editor_->beginUpdate(project, isPrivilegedLogin(shell_.member().userName));
        editor_->setEnablesOnClose(shell_.mainWidget());
        editor_->keepInFrontOf(this);
        editor_->show();
        if (!unreadable.isEmpty())
            Dialogs::message(QStringLiteral("项目时间“") + unreadable.join(QStringLiteral("”、“")) +
                                 QStringLiteral("”无法识别，已代以当前时间，请核对后更新。"),
                             QStringLiteral("修改项目信息"), QMessageBox::Warning);
    });
}

void ProjectWindow::dispatchTask() {
    guarded([this] {
        if (openDispatch_)
            openDispatch_();
    });
}
