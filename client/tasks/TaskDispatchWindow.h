#pragma once
// The task dispatch window: for a new task it shows the business flow as a
// chart; a double-click on a step fills the form with that step's text and
// related persons, and "派发" stores the task. Opened by a re-edit it shows
// the form of an existing task, and "更新" replaces that task.

#include "data/statements/Records.h"
#include "seams/ChildWindow.h"

#include <functional>
#include <optional>

class AppShell;
class FlowChart;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class NamePicker;
class QPushButton;
class QTextEdit;
class RecordSet;

class TaskDispatchWindow : public ChildWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 589, kHeight = 448;
    static inline const QString kDispatchCaption = QStringLiteral("派发");
    static inline const QString kUpdateCaption = QStringLiteral("更新");

    // What "派发"/"更新" does: dispatch a new task, or replace the one under edit.
    enum class Mode { Dispatch, Update };

    explicit TaskDispatchWindow(AppShell &shell, QWidget *parent = nullptr);
    Mode mode() const { return mode_; }

    // The check list of all members, the member's own name ticked.
    void refill() override;
    // A new task for the project: the chart is shown. The project window's
    // record gives the number and the count to raise; the new task is
    // assembled here, in a record of this window's own.
    void beginDispatch(const Project *project);
    // Replacing `task` (a window's opened task): the form is shown filled from
    // it. The task is copied: opening another row meanwhile does not change
    // which task "更新" replaces. False, with a message, when its times
    // cannot be read.
    bool beginUpdate(const Task &task, bool dueTimeEditable);
    // Called after every stored change, to re-fill the project window.
    void setAfterChange(std::function<void()> afterChange) {
        afterChange_ = std::move(afterChange);
    }

    FlowChart *chart;
    QWidget *form;
    QLabel *projectIdLabel;
    QTextEdit *contentEdit;
    QComboBox *dispatcherBox;
    NamePicker *related; // the related persons
    QDateTimeEdit *createTimeEdit, *dueTimeEdit;
    QPushButton *saveButton;

public slots:
    void pickStep(int step);
    void save();

protected:
    void showEvent(QShowEvent *event) override;

signals:
    // The stored task with old's key was replaced by edited.
    void taskReplaced(const Task &old, const Task &edited);

private:
    Task enteredTask() const;
    // What the form holds, to tell whether the member typed since it was filled or stored.
    QString formText() const;
    void dispatchTask();
    void updateTask();
    void afterStoring(const QString &phrase, const QString &message, const QString &caption);

    AppShell &shell_;
    RecordSet *members_;
    // A task with this key (project, content, dispatcher) is stored already.
    bool keyIsStored(const Task &task);
    void setMode(Mode mode);

    const Project *project_ = nullptr;
    Mode mode_ = Mode::Dispatch;
    std::optional<Task> editing_; // the task under edit, as it was opened; only in Update
    std::function<void()> afterChange_;
    QString filledIn_;
};
