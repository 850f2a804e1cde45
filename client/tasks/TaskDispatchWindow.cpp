#include "TaskDispatchWindow.h"

#include "AppClock.h"
#include "AppShell.h"
#include "BusinessFlow.h"
#include "DataAccess.h"
#include "Dialogs.h"
#include "ErrorGuard.h"
#include "FlowChart.h"
#include "NamePicker.h"
#include "NoticePost.h"
#include "ReadBack.h"
#include "RecordRows.h"
#include "RecordSet.h"
#include "SqlValues.h"
#include "TimeText.h"
#include "WindowConventions.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

namespace {

const QString kDispatchTitle = QStringLiteral("派发任务");
const QString kUpdateTitle = QStringLiteral("更新任务");

void caption(const QString &text, QWidget *parent, int top) {
    (new QLabel(text, parent))->setGeometry(56, top, 90, 22);
}

QDateTimeEdit *picker(QWidget *parent, int top) {
    auto *edit = new QDateTimeEdit(AppClock::now(), parent);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setCalendarPopup(true);
    edit->setGeometry(152, top, 299, 22);
    return edit;
}

} // namespace

TaskDispatchWindow::TaskDispatchWindow(AppShell &shell, QWidget *parent)
    : ChildWindow(kDispatchTitle, kWidth, kHeight, parent), shell_(shell) {
    members_ = new RecordSet(this);

    chart = new FlowChart(this);
    chart->setGeometry(8, 8, 561, 401);
    connect(chart, &FlowChart::stepPicked, this, &TaskDispatchWindow::pickStep);

    form = new QWidget(this);
    form->setGeometry(1, 2, 560, 401);
    caption(QStringLiteral("立项编号："), form, 33);
    projectIdLabel = new QLabel(form);
    projectIdLabel->setGeometry(152, 33, 299, 22);
    caption(QStringLiteral("任务内容："), form, 63);
    contentEdit = new QTextEdit(form);
    contentEdit->setAcceptRichText(false);
    contentEdit->setGeometry(152, 63, 299, 56);
    caption(QStringLiteral("派  发 人："), form, 140);
    dispatcherBox = new QComboBox(form);
    dispatcherBox->setEditable(true);
    dispatcherBox->setGeometry(152, 140, 299, 22);
    caption(QStringLiteral("执行人选："), form, 195);
    caption(QStringLiteral("创建时间："), form, 248);
    createTimeEdit = picker(form, 248);
    caption(QStringLiteral("完成时间："), form, 306);
    dueTimeEdit = picker(form, 306);
    // The check list lies over the creation-time row while shown.
    related = new NamePicker(form, QRect(152, 195, 299, 22), QRect(152, 217, 299, 52));
    saveButton = new QPushButton(kDispatchCaption, form);
    saveButton->setGeometry(228, 360, 75, 25);
    related->setFocusAfterToggle(saveButton);
    connect(saveButton, &QPushButton::clicked, this, &TaskDispatchWindow::save);
    form->hide();
    WindowConventions::clearInputMethodHints(this);
}

void TaskDispatchWindow::refill() {
    members_->load(DataAccess::selectDisplayNames());
    QStringList names;
    for (int row = 0; row < members_->recordCount(); ++row)
        names << SqlValues::trimmed(members_->value(row, 0));
    related->setNames(names, shell_.member().displayName);
}

void TaskDispatchWindow::beginDispatch(const Project *project) {
    project_ = project;
    editing_.reset();
    saveButton->setText(kDispatchCaption);
    dueTimeEdit->setEnabled(true);
    form->hide();
    chart->show();
}

bool TaskDispatchWindow::beginUpdate(const Task &task, bool dueTimeEditable) {
    const QDateTime created = TimeText::parse(task.createTime);
    const QDateTime due = TimeText::parse(task.dueTime);
    if (!created.isValid() || !due.isValid()) {
        Dialogs::message(QStringLiteral("任务的创建时间或需求时间无法识别（“") +
                             SqlValues::trimmed(task.createTime) + QStringLiteral("”、“") +
                             SqlValues::trimmed(task.dueTime) +
                             QStringLiteral("”），请先双击打开一条任务。"),
                         QStringLiteral("重新编辑"), QMessageBox::Critical);
        return false;
    }
    editing_ = task;
    saveButton->setText(kUpdateCaption);
    projectIdLabel->setText(task.projectId);
    contentEdit->setPlainText(task.content);
    dispatcherBox->setEditText(task.dispatcher);
    related->setText(task.relatedPersons);
    createTimeEdit->setDateTime(created);
    dueTimeEdit->setDateTime(due);
    dueTimeEdit->setEnabled(dueTimeEditable);
    chart->hide();
    form->show();
    return true;
}

void TaskDispatchWindow::pickStep(int step) {
    if (step < 0 || step >= BusinessFlow::kSteps)
        return;
    const auto &node = BusinessFlow::steps().at(step);
    chart->hide();
    form->show();
    projectIdLabel->setText(project_ ? project_->id : QString());
    contentEdit->setPlainText(node.taskText);
    dispatcherBox->setEditText(shell_.member().displayName);
    related->setText(node.relatedPersons);
    createTimeEdit->setDateTime(AppClock::now());
    dueTimeEdit->setDateTime(AppClock::now());
}

Task TaskDispatchWindow::enteredTask() const {
    Task task;
    task.projectId = projectIdLabel->text();
    task.content = contentEdit->toPlainText();
    task.dispatcher = dispatcherBox->currentText();
    task.createTime = TimeText::format(createTimeEdit->dateTime());
    task.dueTime = TimeText::format(dueTimeEdit->dateTime());
    task.relatedPersons = related->text();
    return task;
}

void TaskDispatchWindow::save() {
    guarded([this] {
        if (saveButton->text() == kDispatchCaption)
            dispatchTask();
        else if (saveButton->text() == kUpdateCaption)
            updateTask();
    });
}

void TaskDispatchWindow::dispatchTask() {
    if (SqlValues::trimmed(contentEdit->toPlainText()).isEmpty()) {
        Dialogs::message(QStringLiteral("请先输入任务内容后再派发"), kDispatchTitle);
        return;
    }
    // Assembled here: the project window's opened task stays the one it shows.
    Task task = enteredTask();
    task.state = QStringLiteral("0");
    if (keyIsStored(task)) {
        Dialogs::message(
            QStringLiteral("项目") + task.projectId + QStringLiteral("下已有") + task.dispatcher +
                QStringLiteral("派发的相同内容的任务，未再次派发。请修改任务内容后再派发。"),
            kDispatchTitle, QMessageBox::Warning);
        return;
    }
    if (!DataAccess::addTask(task) &&
        !storedAfterAll(task, kDispatchTitle, QStringLiteral("派发任务出错！")))
        return;
    // The project window's next fill stores the real count; this keeps the
    // list right until then.
    bool counted = false;
    const int count = project_ ? SqlValues::trimmed(project_->taskCount).toInt(&counted) : 0;
    if (project_ && counted)
        DataAccess::updateProjectTaskCount(QString::number(count + 1), *project_);
    afterStoring(QStringLiteral(" 添加了派发任务，请以下执行人选注意查收"),
                 QStringLiteral("已成功派发任务，请提醒相关人员查看！"), kDispatchTitle);
}

// A failed change of this task: stored after all when its answer was only
// lost and reading it back finds it; otherwise says what is known.
bool TaskDispatchWindow::storedAfterAll(const Task &task, const QString &caption,
                                        const QString &failed) {
    const ServerFailure failure = DataAccess::lastFailure();
    if (failure.kind == ServerFailure::Kind::AnswerLost) {
        switch (ReadBack::task(task)) {
        case ReadBack::Stored::Yes:
            return true;
        case ReadBack::Stored::No:
            Dialogs::message(failed +
                                 QStringLiteral("\r与服务器的连接中断，任务未保存，请再试一次。"),
                             caption, QMessageBox::Critical);
            return false;
        case ReadBack::Stored::Unknown:
            break;
        }
    }
    Dialogs::message(failed + QStringLiteral("\r") + failure.text, caption, QMessageBox::Critical);
    return false;
}

bool TaskDispatchWindow::keyIsStored(const Task &task) {
    RecordSet stored;
    stored.load(DataAccess::selectProjectTasks(task.projectId, true));
    for (int row = 0; row < stored.recordCount(); ++row) {
        const Task other = RecordRows::taskAt(stored, row);
        if (other.projectId == task.projectId && other.content == task.content &&
            other.dispatcher == task.dispatcher)
            return true;
    }
    return false; // a failed query leaves the check to the server
}

void TaskDispatchWindow::updateTask() {
    if (!editing_)
        return;
    const Task old = *editing_;
    Task edited = old;
    const Task entered = enteredTask();
    edited.projectId = entered.projectId;
    edited.content = entered.content;
    edited.dispatcher = entered.dispatcher;
    edited.createTime = entered.createTime;
    edited.dueTime = entered.dueTime;
    edited.relatedPersons = entered.relatedPersons;
    // One request: the stored task is replaced, or stays as it was.
    const ChangeResult replaced = DataAccess::replaceTask(old, edited);
    if (!replaced.changedAnyRow() &&
        !storedAfterAll(edited, kUpdateTitle, QStringLiteral("更新任务出错！原任务未改变。")))
        return;
    editing_ = edited; // a second "更新" replaces the row just stored
    emit taskReplaced(old, edited);
    // An update adds no task: no count changes.
    afterStoring(QStringLiteral(" 更新了派发任务，请以下执行人选注意查收"),
                 QStringLiteral("已成功更新任务，请提醒相关人员查看！"), kUpdateTitle);
    dueTimeEdit->setEnabled(true);
}

void TaskDispatchWindow::afterStoring(const QString &phrase, const QString &message,
                                      const QString &caption) {
    try {
        NoticePost::post(shell_, QStringLiteral("项目编号:") + projectIdLabel->text() + phrase,
                         shell_.member().displayName, related->text());
        shell_.reloadLists();
        if (afterChange_)
            afterChange_();
    } catch (const std::exception &error) {
        // The task is stored: a failed refresh must not look like a failed dispatch.
        Dialogs::message(message + QStringLiteral("\r任务已保存，但刷新列表失败：") +
                             failureText(error),
                         caption, QMessageBox::Warning);
        return;
    }
    Dialogs::message(message, caption);
}
