#include "tasks/TaskDispatchWindow.h"

#include "data/DataAccess.h"
#include "data/ReadBack.h"
#include "data/SettledChange.h"
#include "data/records/RecordRows.h"
#include "data/records/RecordSet.h"
#include "data/statements/SqlValues.h"
#include "data/statements/TimeText.h"
#include "notices/NoticePost.h"
#include "seams/AppClock.h"
#include "seams/AppShell.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "tasks/BusinessFlow.h"
#include "tasks/FlowChart.h"
#include "widgets/DateTimePicker.h"
#include "widgets/NamePicker.h"
#include "widgets/WindowConventions.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

const QString kDispatchTitle = QStringLiteral("派发任务");
const QString kUpdateTitle = QStringLiteral("更新任务");

} // namespace

TaskDispatchWindow::TaskDispatchWindow(AppShell &shell, QWidget *parent)
    : ChildWindow(kDispatchTitle, kWidth, kHeight, parent), shell_(shell) {
    members_ = new RecordSet(this);
    auto *content = new QWidget;
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(WindowConventions::scrolling(content));
    // The chart and the form take the same place; one is shown at a time.
    auto *page = new QVBoxLayout(content);
    page->setContentsMargins(8, 8, 8, 8);

    chart = new FlowChart(content);
    page->addWidget(chart, 1, Qt::AlignCenter);
    connect(chart, &FlowChart::stepPicked, this, &TaskDispatchWindow::pickStep);

    form = new QWidget(content);
    page->addWidget(form, 1);
    auto *rows = new QGridLayout(form);
    rows->setContentsMargins(48, 24, 48, 16);
    rows->setHorizontalSpacing(6);
    rows->setVerticalSpacing(20);
    rows->setColumnMinimumWidth(0, 90);
    rows->setColumnStretch(1, 1);
    int row = 0;
    auto addRow = [&](const QString &caption, QWidget *field) {
        auto *label = new QLabel(caption, form);
        label->setBuddy(field);
        rows->addWidget(label, row, 0, Qt::AlignTop);
        rows->addWidget(field, row++, 1);
    };
    projectIdLabel = new QLabel(form);
    projectIdLabel->setMinimumHeight(22);
    addRow(QStringLiteral("立项编号："), projectIdLabel);
    contentEdit = new QTextEdit(form);
    contentEdit->setAcceptRichText(false);
    contentEdit->setTabChangesFocus(true);
    contentEdit->setMinimumHeight(56);
    addRow(QStringLiteral("任务内容："), contentEdit);
    rows->setRowStretch(1, 1);
    dispatcherBox = new QComboBox(form);
    dispatcherBox->setEditable(true);
    // Screen readers would name an editable box by its text.
    dispatcherBox->setAccessibleName(QStringLiteral("派发人"));
    addRow(QStringLiteral("派  发 人："), dispatcherBox);
    // The check list lies over the creation-time row while shown.
    related = new NamePicker(form, 52);
    related->field->setAccessibleName(QStringLiteral("执行人选"));
    addRow(QStringLiteral("执行人选："), related->field);
    createTimeEdit = new DateTimePicker(AppClock::now(), form);
    addRow(QStringLiteral("创建时间："), createTimeEdit);
    dueTimeEdit = new DateTimePicker(AppClock::now(), form);
    addRow(QStringLiteral("完成时间："), dueTimeEdit);
    saveButton = new QPushButton(kDispatchCaption, form);
    saveButton->setMinimumSize(75, 25);
    saveButton->setAutoDefault(true); // Enter presses the button that has the focus
    rows->addWidget(saveButton, row, 0, 1, 2, Qt::AlignHCenter);
    related->setFocusAfterToggle(saveButton);
    connect(saveButton, &QPushButton::clicked, this, &TaskDispatchWindow::save);
    setDefaultButton(saveButton);
    askBeforeClosing([this] { return form->isVisible() && formText() != filledIn_; },
                     QStringLiteral("所填写的任务尚未保存，关闭窗口将放弃这些内容。是否关闭？"),
                     kDispatchTitle);
    form->hide();
    WindowConventions::clearInputMethodHints(this);
}

void TaskDispatchWindow::showEvent(QShowEvent *event) {
    ChildWindow::showEvent(event);
    // The keyboard starts on the first step of the chart, or in the form.
    if (chart->isVisibleTo(this))
        chart->focusStep(chart->currentStep());
    else
        contentEdit->setFocus();
}

void TaskDispatchWindow::setMode(Mode mode) {
    mode_ = mode;
    saveButton->setText(mode == Mode::Dispatch ? kDispatchCaption : kUpdateCaption);
}

void TaskDispatchWindow::refill() {
    members_->load(rowsOf(DataAccess::selectDisplayNames()));
    QStringList names;
    for (int row = 0; row < members_->recordCount(); ++row)
        names << SqlValues::trimmed(members_->value(row, 0));
    related->setNames(names, shell_.member().displayName);
}

void TaskDispatchWindow::beginDispatch(const Project *project) {
    project_ = project;
    editing_.reset();
    setMode(Mode::Dispatch);
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
    setMode(Mode::Update);
    projectIdLabel->setText(task.projectId);
    contentEdit->setPlainText(task.content);
    dispatcherBox->setEditText(task.dispatcher);
    related->setText(task.relatedPersons);
    createTimeEdit->setDateTime(created);
    dueTimeEdit->setDateTime(due);
    dueTimeEdit->setEnabled(dueTimeEditable);
    chart->hide();
    form->show();
    filledIn_ = formText();
    return true;
}

void TaskDispatchWindow::pickStep(int step) {
    if (step < 0 || step >= BusinessFlow::kSteps)
        return;
    const auto &node = BusinessFlow::steps().at(step);
    chart->hide();
    form->show();
    contentEdit->setFocus();
    projectIdLabel->setText(project_ ? project_->id : QString());
    contentEdit->setPlainText(node.taskText);
    dispatcherBox->setEditText(shell_.member().displayName);
    related->setText(node.relatedPersons);
    createTimeEdit->setDateTime(AppClock::now());
    dueTimeEdit->setDateTime(AppClock::now());
    filledIn_ = formText();
}

QString TaskDispatchWindow::formText() const {
    const Task task = enteredTask();
    return QStringList{task.content, task.dispatcher, task.createTime, task.dueTime,
                       task.relatedPersons}
        .join(QChar(0));
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
    // Only an update has a task under edit.
    Q_ASSERT((mode_ == Mode::Update) == editing_.has_value());
    guarded([this] {
        switch (mode_) {
        case Mode::Dispatch:
            dispatchTask();
            break;
        case Mode::Update:
            updateTask();
            break;
        }
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
    const SettledChange added =
        SettledChange::of(DataAccess::addTask(task), [&] { return ReadBack::task(task); });
    if (!added.made()) {
        Dialogs::message(QStringLiteral("派发任务出错！\r") + added.text, kDispatchTitle,
                         QMessageBox::Critical);
        return;
    }
    // The project window's next fill stores the real count; this keeps the
    // list right until then.
    bool counted = false;
    const int count = project_ ? SqlValues::trimmed(project_->taskCount).toInt(&counted) : 0;
    if (project_ && counted)
        DataAccess::updateProjectTaskCount(QString::number(count + 1), *project_);
    afterStoring(QStringLiteral(" 添加了派发任务，请以下执行人选注意查收"),
                 QStringLiteral("已成功派发任务，请提醒相关人员查看！"), kDispatchTitle);
}

bool TaskDispatchWindow::keyIsStored(const Task &task) {
    const QueryResult answer = DataAccess::selectProjectTasks(task.projectId, true);
    if (!answer.ok())
        return false; // a failed query leaves the check to the server
    RecordSet stored;
    stored.load(answer.rows());
    for (int row = 0; row < stored.recordCount(); ++row) {
        const Task other = RecordRows::taskAt(stored, row);
        if (other.projectId == task.projectId && other.content == task.content &&
            other.dispatcher == task.dispatcher)
            return true;
    }
    return false;
}

void TaskDispatchWindow::updateTask() {
    if (!editing_)
        return;
    const Task old = *editing_;
    Task edited = old;
    // The key of the task under edit stays as it was opened until it is replaced.
    Q_ASSERT(old.projectId == projectIdLabel->text());
    const Task entered = enteredTask();
    edited.projectId = entered.projectId;
    edited.content = entered.content;
    edited.dispatcher = entered.dispatcher;
    edited.createTime = entered.createTime;
    edited.dueTime = entered.dueTime;
    edited.relatedPersons = entered.relatedPersons;
    // One request: the stored task is replaced, or stays as it was.
    const SettledChange replaced = SettledChange::of(DataAccess::replaceTask(old, edited),
                                                     [&] { return ReadBack::task(edited); });
    if (!replaced.madeOnARow()) {
        Dialogs::message(QStringLiteral("更新任务出错！原任务未改变。") +
                             (replaced.text.isEmpty() ? QString() : "\r" + replaced.text),
                         kUpdateTitle, QMessageBox::Critical);
        return;
    }
    editing_ = edited; // a second "更新" replaces the row just stored
    emit taskReplaced(old, edited);
    // An update adds no task: no count changes.
    afterStoring(QStringLiteral(" 更新了派发任务，请以下执行人选注意查收"),
                 QStringLiteral("已成功更新任务，请提醒相关人员查看！"), kUpdateTitle);
    dueTimeEdit->setEnabled(true);
}

void TaskDispatchWindow::afterStoring(const QString &phrase, const QString &message,
                                      const QString &caption) {
    filledIn_ = formText(); // stored: closing loses nothing
    try {
        NoticePost::post(shell_, QStringLiteral("项目编号:") + projectIdLabel->text() + phrase,
                         shell_.member().displayName, related->text());
        shell_.reloadLists();
        if (afterChange_)
            afterChange_();
    } catch (const RequestFailed &failed) {
        // The task is stored: a failed refresh must not look like a failed dispatch.
        Dialogs::message(message + QStringLiteral("\r任务已保存，但刷新列表失败：") +
                             failed.failure.text(),
                         caption, QMessageBox::Warning);
        return;
    }
    Dialogs::message(message, caption);
}
