#include "tasks/TaskWorkflow.h"

#include "data/DataAccess.h"
#include "data/ReadBack.h"
#include "data/SettledChange.h"
#include "data/records/RecordRows.h"
#include "data/records/RecordSet.h"
#include "data/statements/SqlValues.h"
#include "data/statements/TimeText.h"
#include "members/MemberRights.h"
#include "notices/NoticePost.h"
#include "seams/AppClock.h"
#include "seams/AppShell.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "tasks/NoteLines.h"
#include "tasks/TaskDispatchWindow.h"
#include "tasks/TaskPanel.h"
#include "widgets/WindowConventions.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

namespace {

using SqlValues::trimmed;

bool askYes(const QString &question, const QString &caption) {
    return Dialogs::message(question, caption, QMessageBox::Information,
                            QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void tell(const QString &text, const QString &caption) {
    Dialogs::message(text, caption, QMessageBox::Information);
}

void fail(const QString &text, const QString &caption) {
    Dialogs::message(text, caption, QMessageBox::Critical);
}

} // namespace

TaskWorkflow::TaskWorkflow(Place place, AppShell &shell, QTableView *grid, RecordSet *tasks,
                           TaskPanel *panel, QObject *parent)
    : QObject(parent), place_(place), shell_(shell), grid_(grid), tasks_(tasks), panel_(panel) {
    connect(grid_, &QTableView::doubleClicked, this, &TaskWorkflow::openCurrentRow);
    WindowConventions::openRowsOnEnter(grid_, [this] { openCurrentRow(); });
    connect(panel_->applyButton, &QPushButton::clicked, this, &TaskWorkflow::applyOrReject);
    connect(panel_->completeButton, &QPushButton::clicked, this, &TaskWorkflow::claimOrAgree);
    connect(panel_->reeditButton, &QPushButton::clicked, this, &TaskWorkflow::reedit);
    connect(tasks_, &RecordSet::reloaded, this, &TaskWorkflow::followStoredRow);
    lockActions();
}

QString TaskWorkflow::memberName() const {
    return shell_.member().displayName;
}

void TaskWorkflow::setDispatchWindow(TaskDispatchWindow *window) {
    if (dispatchWindow_)
        disconnect(dispatchWindow_, nullptr, this, nullptr);
    dispatchWindow_ = window;
    if (dispatchWindow_)
        connect(dispatchWindow_, &TaskDispatchWindow::taskReplaced, this,
                &TaskWorkflow::followReplaced);
}

void TaskWorkflow::lockActions() {
    applyAction_ = ApplyAction::None;
    completeAction_ = CompleteAction::None;
    panel_->applyButton->setEnabled(false);
    panel_->completeButton->setEnabled(false);
    panel_->reeditButton->setEnabled(false);
}

void TaskWorkflow::showActions() {
    const bool open = opened.state == QLatin1String("0");
    const bool applied = opened.state == QLatin1String("1");
    applyAction_ = open ? ApplyAction::Apply : applied ? ApplyAction::Reject : ApplyAction::None;
    completeAction_ =
        open ? CompleteAction::Claim : applied ? CompleteAction::Agree : CompleteAction::None;
    // Both buttons act on the same state: both act, or neither.
    Q_ASSERT((applyAction_ == ApplyAction::None) == (completeAction_ == CompleteAction::None));
    panel_->applyButton->setText(TaskPanel::withAccessKey(open ? kApply : applied ? kReject : kDone));
    panel_->completeButton->setText(
        TaskPanel::withAccessKey(open ? kClaim : applied ? kAgree : kDone));
    // What the server would refuse is not offered, and the member reads why:
    // rejecting is the dispatcher's alone, a claimed task is not claimed again.
    const bool dispatcher = trimmed(opened.dispatcher) == trimmed(memberName());
    const bool claimed = !trimmed(opened.performer).isEmpty();
    panel_->applyButton->setEnabled(open || (applied && dispatcher));
    panel_->applyButton->setToolTip(applied && !dispatcher
                                        ? QStringLiteral("只有任务的派发人才能驳回重新完成。")
                                        : QString());
    panel_->completeButton->setEnabled((open && !claimed) || applied);
    panel_->completeButton->setToolTip(open && claimed ? QStringLiteral("该任务已有执行人领取。")
                                                       : QString());
}

// The re-edit stored the opened task under its new key: the actions follow it there.
void TaskWorkflow::followReplaced(const Task &old, const Task &edited) {
    if (opened.projectId == old.projectId && opened.content == old.content &&
        opened.dispatcher == old.dispatcher)
        opened = RecordRows::trimmed(edited);
}

void TaskWorkflow::followStoredRow() {
    if (opened.projectId.isEmpty())
        return;
    for (int row = 0; row < tasks_->recordCount(); ++row) {
        const Task stored = RecordRows::trimmed(RecordRows::taskAt(*tasks_, row));
        if (stored.projectId != opened.projectId || stored.content != opened.content ||
            stored.dispatcher != opened.dispatcher)
            continue;
        if (stored.state == opened.state && stored.performer == opened.performer &&
            stored.readReceipt == opened.readReceipt && stored.dueTime == opened.dueTime &&
            stored.completionNote == opened.completionNote)
            return;
        // Another member acted on it: the record and the buttons follow what
        // is stored; the note the member may be typing stays.
        const bool enabled = panel_->applyButton->isEnabled() || panel_->completeButton->isEnabled();
        opened.state = stored.state;
        opened.performer = stored.performer;
        opened.readReceipt = stored.readReceipt;
        opened.dueTime = stored.dueTime;
        opened.createTime = stored.createTime;
        opened.completionNote = stored.completionNote;
        opened.relatedPersons = stored.relatedPersons;
        panel_->performerLabel->setText(opened.performer);
        panel_->dueTimeLabel->setText(opened.dueTime);
        panel_->createTimeLabel->setText(opened.createTime);
        if (!opened.readReceipt.isEmpty())
            panel_->readTimeLabel->setText(opened.readReceipt);
        if (enabled)
            showActions();
        return;
    }
}

void TaskWorkflow::openCurrentRow() {
    guarded([this] {
        const int row = grid_->currentIndex().row();
        if (row < 0 || row >= tasks_->recordCount())
            return;
        // Everything is taken from the row as it stands now: a read receipt
        // reloads the grid before the note is shown.
        const Task stored = RecordRows::taskAt(*tasks_, row);
        opened = RecordRows::trimmed(stored);

        showActions();

        panel_->projectIdLabel->setText(opened.projectId);
        panel_->contentBox->setPlainText(opened.content);
        panel_->dispatcherLabel->setText(opened.dispatcher);
        panel_->performerLabel->setText(opened.performer);
        panel_->createTimeLabel->setText(opened.createTime);
        panel_->dueTimeLabel->setText(opened.dueTime);

        const QString name = trimmed(memberName());
        if (!opened.readReceipt.isEmpty())
            panel_->readTimeLabel->setText(opened.readReceipt);
        else if (!name.isEmpty() && opened.relatedPersons.contains(name))
            recordReadReceipt();
        else
            panel_->readTimeLabel->clear();
        if (place_ == Place::MainWindow)
            panel_->performerLabel->setText(trimmed(opened.performer));
        showOpened(stored.completionNote);
        panel_->reeditButton->setEnabled(!opened.projectId.isEmpty());
    });
}

void TaskWorkflow::showOpened(const QString &note) {
    panel_->noteBox->setPlainText(NoteLines::split(note).join(QLatin1Char('\n')));
}

void TaskWorkflow::recordReadReceipt() {
    const QString receipt = TimeText::format(AppClock::now()) + QStringLiteral("--") + memberName();
    panel_->readTimeLabel->setText(receipt);
    Task withReceipt = opened;
    withReceipt.readReceipt = receipt;
    const SettledChange stored = SettledChange::of(DataAccess::updateTaskReadTime(receipt, opened),
                                                   [&] { return ReadBack::task(withReceipt); });
    if (stored.made() && !stored.madeOnARow()) {
        // No stored task took the receipt: it was changed or deleted meanwhile.
        panel_->readTimeLabel->clear();
        tellChangedMeanwhile(QStringLiteral("签收任务"));
        return;
    }
    if (!stored.made())
        return; // the next opening tries again
    opened.readReceipt = receipt;
    // Only the receipt is written: the opened task keeps its stored performer.
    const QString concerned = place_ == Place::MainWindow ? memberName() : opened.performer;
    NoticePost::post(shell_,
                     QStringLiteral("项目编号:") + opened.projectId +
                         QStringLiteral(" 下派发任务已被") + memberName() + QStringLiteral("查阅"),
                     memberName(), concerned);
    if (reloadGrid_)
        reloadGrid_();
}

void TaskWorkflow::applyOrReject() {
    guarded([this] {
        switch (applyAction_) {
        case ApplyAction::Apply:
            apply();
            break;
        case ApplyAction::Reject:
            reject();
            break;
        case ApplyAction::None:
            break;
        }
    });
}

void TaskWorkflow::claimOrAgree() {
    guarded([this] {
        switch (completeAction_) {
        case CompleteAction::Claim:
            claim();
            break;
        case CompleteAction::Agree:
            agree();
            break;
        case CompleteAction::None:
            break;
        }
    });
}

void TaskWorkflow::claim() {
    const QString caption = QStringLiteral("领取任务！");
    panel_->performerLabel->setText(trimmed(opened.performer));
    if (!trimmed(opened.performer).isEmpty())
        return;
    if (!askYes(QStringLiteral("是否领取该任务,若非预定执行人，请告知执行人。"), caption))
        return;
    const Task before = opened;
    opened.performer = memberName();
    Task claimedTask = opened;
    claimedTask.state = QStringLiteral("0");
    claimedTask.completionNote.clear();
    const SettledChange claimed = SettledChange::of(DataAccess::claimTask(opened),
                                                    [&] { return ReadBack::task(claimedTask); });
    if (!claimed.made()) {
        opened = before;
        fail(QStringLiteral("领取任务出错！\r") + claimed.text, caption);
        return;
    }
    if (claimed.rows == 0) {
        // Someone else claimed it first: theirs stands, and the lists show it.
        opened = before;
        tell(QStringLiteral("该任务已被他人领取，请重新双击打开查看。"), caption);
        shell_.reloadLists();
        if (refreshProjectWindow_)
            refreshProjectWindow_();
        return;
    }
    opened.state = QStringLiteral("0");
    opened.completionNote.clear();
    panel_->performerLabel->setText(opened.performer);
    showActions();
    noticeAndRefresh(QStringLiteral(" 下的派发任务已被人领取！"), opened.dispatcher);
}

bool TaskWorkflow::storeState(const QString &note, const Task &before, const QString &failure,
                              const QString &caption) {
    Task expected = opened;
    expected.completionNote = note;
    const SettledChange stored =
        SettledChange::of(DataAccess::updateTaskState(opened.state, note, opened),
                          [&] { return ReadBack::task(expected); });
    if (stored.madeOnARow())
        return true;
    opened = before;
    if (stored.made()) {
        tellChangedMeanwhile(caption);
        return false;
    }
    fail(failure + QStringLiteral("\r") + stored.text, caption);
    return false;
}

// A change that matched no stored task: another member changed or deleted it
// since it was opened. Nothing is written, and the lists show what is stored.
void TaskWorkflow::tellChangedMeanwhile(const QString &caption) {
    lockActions();
    fail(QStringLiteral("该任务已被他人修改或删除，数据未改变。列表已刷新，请重新打开该任务查看。"),
         caption);
    shell_.reloadLists();
    if (refreshProjectWindow_)
        refreshProjectWindow_();
}

void TaskWorkflow::apply() {
    const QString caption = QStringLiteral("申请完成任务！");
    const QString note = trimmed(panel_->noteBox->toPlainText());
    if (note.isEmpty()) {
        tell(QStringLiteral("请先输入任务完成情况说明后点击申请完成任务！"), caption);
        return;
    }
    const Task before = opened;
    opened.state = QStringLiteral("1");
    opened.completionNote = note;
    if (!storeState(note, before, QStringLiteral("申请完成任务出错！"), caption))
        return;
    showActions();
    noticeAndRefresh(QStringLiteral(" 下的派发任务已申请完成任务，请相关派发人查看！"),
                     opened.performer);
    tell(QStringLiteral("已将任务完成申请提交至") + opened.dispatcher +
             QStringLiteral(",请等待审核结果."),
         caption);
}

void TaskWorkflow::reject() {
    const QString caption = QStringLiteral("驳回重新完成任务！");
    if (opened.dispatcher != memberName())
        return; // the dispatcher's right alone
    if (!askYes(QStringLiteral("是否要求任务执行人重新完成该任务，请确保已将原因告知执行人。"),
                caption))
        return;
    const Task before = opened;
    const QString note = trimmed(panel_->noteBox->toPlainText());
    opened.state = QStringLiteral("0");
    opened.completionNote = note;
    if (!storeState(note, before, QStringLiteral("驳回任务出错！"), caption))
        return;
    showActions();
    noticeAndRefresh(QStringLiteral(" 下的派发任务已由派发人驳回重新完成，请相关执行人重新完成！"),
                     opened.performer);
}

void TaskWorkflow::agree() {
    const QString caption = QStringLiteral("同意完成任务");
    if (trimmed(opened.state) != QLatin1String("1"))
        return;
    if (!askYes(QStringLiteral("是否同意执行人完成该任务？"), caption))
        return;
    const Task before = opened;
    opened.state = QStringLiteral("2");
    // The note stored when the row was opened; edits in the note box are not saved.
    if (!storeState(opened.completionNote, before, QStringLiteral("同意完成任务出错！"), caption))
        return;
    showActions(); // completed: nothing is left to press
    noticeAndRefresh(QStringLiteral(" 下的派发任务已完成！"), opened.dispatcher);
}

void TaskWorkflow::noticeAndRefresh(const QString &phrase, const QString &concerned) {
    NoticePost::post(shell_, QStringLiteral("项目编号:") + opened.projectId + phrase, memberName(),
                     concerned);
    shell_.reloadLists();
    if (refreshProjectWindow_)
        refreshProjectWindow_();
}

void TaskWorkflow::reedit() {
    guarded([this] {
        if (!dispatchWindow_)
            return;
        if (!dispatchWindow_->beginUpdate(opened, isPrivilegedLogin(shell_.member().userName)))
            return;
        dispatchWindow_->refill();
        // In front of the window the re-edit came from.
        dispatchWindow_->keepInFrontOf(grid_->window());
        dispatchWindow_->show();
    });
}
