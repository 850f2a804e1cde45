#pragma once
// The new project window: creates a project of one of the three kinds with a
// generated number and chosen performers; in update mode (opened by the
// project window's re-edit) it replaces that project's stored row instead.

#include "data/statements/Records.h"
#include "projects/ProjectRules.h"
#include "seams/ChildWindow.h"

#include <optional>

class AppShell;
class QButtonGroup;
class QDateTimeEdit;
class QLineEdit;
class NamePicker;
class QPushButton;
class QRadioButton;
class RecordSet;

class NewProjectWindow : public ChildWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 393, kHeight = 420;
    static inline const QString kNumberPlaceholder = QStringLiteral("数据库自动生成，请选择种类！");
    static inline const QString kCreateCaption = QStringLiteral("创建");
    static inline const QString kUpdateCaption = QStringLiteral("更新");

    explicit NewProjectWindow(AppShell &shell, QWidget *parent = nullptr);

    // Create mode, the member as performer, the check list of all members.
    void refill() override;
    // Update mode on a copy of the project window's record, filled from it:
    // "更新" replaces that project's row, whichever project the project window
    // shows by then. The due time may be changed only when dueTimeEditable.
    void beginUpdate(const Project &record, bool dueTimeEditable);
    // What "创建"/"更新" does: create a new project, or replace the one under edit.
    enum class Mode { Create, Update };
    Mode mode() const { return mode_; }

    QLineEdit *numberEdit;
    QRadioButton *kindButtons[3];
    QLineEdit *sourceEdit, *aimEdit, *contentEdit;
    NamePicker *performers;
    QDateTimeEdit *createTimeEdit, *dueTimeEdit;
    QPushButton *saveButton, *cancelButton;

public slots:
    void save();

signals:
    // A project's stored row was replaced by its edited copy.
    void projectUpdated(const Project &edited);

private:
    void chooseKind(ProjectRules::Kind kind);
    QStringList storedNumbers(ProjectRules::Kind kind, const QDate &day);
    void showKind(std::optional<ProjectRules::Kind> kind); // no numbering
    std::optional<ProjectRules::Kind> chosenKind() const;
    Project enteredProject() const;
    void create();
    void update();
    bool takeNewNumberIfTaken();
    void resetAfterSave();
    void fail(const QString &text, const QString &caption);
    void setMode(Mode mode);

    AppShell &shell_;
    RecordSet *records_;
    QButtonGroup *kinds_;
    Mode mode_ = Mode::Create;
    // The project under edit; none after its update is stored, so that a
    // second "更新" has nothing to rewrite from the reset fields.
    std::optional<Project> updating_;
};
