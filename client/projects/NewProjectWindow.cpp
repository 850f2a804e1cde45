#include "projects/NewProjectWindow.h"

#include "data/DataAccess.h"
#include "data/ReadBack.h"
#include "data/SettledChange.h"
#include "data/records/RecordRows.h"
#include "data/records/RecordSet.h"
#include "data/statements/SqlValues.h"
#include "data/statements/Statements.h"
#include "data/statements/TimeText.h"
#include "notices/NoticePost.h"
#include "seams/AppClock.h"
#include "seams/AppShell.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "widgets/DateTimePicker.h"
#include "widgets/NamePicker.h"
#include "widgets/WindowConventions.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("创建新项目");
const QString kUpdateTitle = QStringLiteral("修改项目信息");

} // namespace

NewProjectWindow::NewProjectWindow(AppShell &shell, QWidget *parent)
    : ChildWindow(kTitle, kWidth, kHeight, parent), shell_(shell) {
    records_ = new RecordSet(this);
    auto *content = new QWidget;
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(WindowConventions::scrolling(content));
    auto *page = new QVBoxLayout(content);
    page->setContentsMargins(20, 18, 30, 24);
    auto *rows = new QGridLayout;
    rows->setHorizontalSpacing(5);
    rows->setVerticalSpacing(12);
    rows->setColumnMinimumWidth(0, 85);
    rows->setColumnStretch(1, 1);
    page->addLayout(rows);
    int row = 0;
    auto addRow = [&](const QString &caption, QWidget *field) {
        auto *label = new QLabel(caption, content);
        label->setBuddy(field);
        rows->addWidget(label, row, 0);
        rows->addWidget(field, row++, 1);
    };

    numberEdit = new QLineEdit(kNumberPlaceholder, content);
    addRow(QStringLiteral("立项编号："), numberEdit);

    auto *kindRow = new QWidget(content);
    auto *kindLayout = new QHBoxLayout(kindRow);
    kindLayout->setContentsMargins(0, 0, 0, 0);
    kinds_ = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        const ProjectRules::Kind kind = ProjectRules::kKinds[i];
        kindButtons[i] = new QRadioButton(ProjectRules::caption(kind), kindRow);
        kindLayout->addWidget(kindButtons[i]);
        kinds_->addButton(kindButtons[i], i);
        // Only a kind that becomes selected numbers the project.
        connect(kindButtons[i], &QRadioButton::toggled, this, [this, kind](bool on) {
            if (on)
                guarded([this, kind] { chooseKind(kind); });
        });
    }
    kindLayout->addStretch(1);
    addRow(QStringLiteral("项目种类："), kindRow);

    sourceEdit = new QLineEdit(content);
    addRow(QStringLiteral("项目来源："), sourceEdit);
    aimEdit = new QLineEdit(content);
    addRow(QStringLiteral("项目目的："), aimEdit);
    contentEdit = new QLineEdit(content);
    addRow(QStringLiteral("项目内容："), contentEdit);
    // The check list lies over the time rows while shown.
    performers = new NamePicker(content, 130);
    addRow(QStringLiteral("项目执行人："), performers->field);
    createTimeEdit = new DateTimePicker(AppClock::now(), content);
    addRow(QStringLiteral("创建时间："), createTimeEdit);
    dueTimeEdit = new DateTimePicker(AppClock::now(), content);
    addRow(QStringLiteral("完成时间："), dueTimeEdit);

    saveButton = new QPushButton(kCreateCaption, content);
    cancelButton = new QPushButton(QStringLiteral("取消"), content);
    auto *buttons = new QHBoxLayout;
    buttons->addSpacing(70);
    for (QPushButton *button : {saveButton, cancelButton}) {
        button->setMinimumSize(75, 28);
        button->setAutoDefault(true); // Enter presses the button that has the focus
    }
    buttons->addWidget(saveButton);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addSpacing(70);
    page->addStretch(1);
    page->addSpacing(12);
    page->addLayout(buttons);
    connect(saveButton, &QPushButton::clicked, this, &NewProjectWindow::save);
    connect(cancelButton, &QPushButton::clicked, this, &QWidget::close);
    setDefaultButton(saveButton);

    performers->setFocusAfterToggle(saveButton);
    WindowConventions::clearInputMethodHints(this);
}

void NewProjectWindow::setMode(Mode mode) {
    mode_ = mode;
    saveButton->setText(mode == Mode::Create ? kCreateCaption : kUpdateCaption);
}

void NewProjectWindow::refill() {
    setMode(Mode::Create);
    setWindowTitle(kTitle);
    dueTimeEdit->setEnabled(true);
    updating_.reset();
    performers->setText(shell_.member().displayName);
    records_->load(rowsOf(DataAccess::selectDisplayNames()));
    QStringList names;
    for (int row = 0; row < records_->recordCount(); ++row)
        names << SqlValues::trimmed(records_->value(row, 0));
    performers->setNames(names, shell_.member().displayName);
}

void NewProjectWindow::beginUpdate(const Project &record, bool dueTimeEditable) {
    updating_ = record;
    setWindowTitle(kUpdateTitle);
    setMode(Mode::Update);
    numberEdit->setText(SqlValues::trimmed(record.id));
    showKind(ProjectRules::kindOfNumber(record.id));
    sourceEdit->setText(SqlValues::trimmed(record.source));
    aimEdit->setText(SqlValues::trimmed(record.aim));
    contentEdit->setText(SqlValues::trimmed(record.content));
    performers->setText(SqlValues::trimmed(record.performers));
    // A time that cannot be read leaves the picker on now; the project
    // window has told the member so.
    const QDateTime created = TimeText::parse(record.createTime);
    createTimeEdit->setDateTime(created.isValid() ? created : AppClock::now());
    const QDateTime due = TimeText::parse(record.dueTime);
    dueTimeEdit->setDateTime(due.isValid() ? due : AppClock::now());
    dueTimeEdit->setEnabled(dueTimeEditable);
}

std::optional<ProjectRules::Kind> NewProjectWindow::chosenKind() const {
    const int id = kinds_->checkedId();
    if (id < 0)
        return std::nullopt;
    return ProjectRules::kKinds[id];
}

void NewProjectWindow::showKind(std::optional<ProjectRules::Kind> kind) {
    const QSignalBlocker quiet(kinds_);
    for (QRadioButton *button : kindButtons) {
        const QSignalBlocker quietButton(button);
        kinds_->setExclusive(false);
        button->setChecked(false);
        kinds_->setExclusive(true);
    }
    if (kind) {
        QRadioButton *button = kindButtons[static_cast<int>(*kind)];
        const QSignalBlocker quietButton(button);
        button->setChecked(true);
    }
}

QStringList NewProjectWindow::storedNumbers(ProjectRules::Kind kind, const QDate &day) {
    records_->load(rowsOf(DataAccess::queryProjects(
        Statements::projectNumbersOfDay(ProjectRules::dayPrefix(kind, day)))));
    QStringList stored;
    const int id = records_->fieldIndex(QStringLiteral("ProId"));
    for (int row = 0; id >= 0 && row < records_->recordCount(); ++row)
        stored << SqlValues::trimmed(records_->value(row, id));
    return stored;
}

void NewProjectWindow::chooseKind(ProjectRules::Kind kind) {
    const QDate today = AppClock::now().date();
    numberEdit->setText(ProjectRules::nextNumber(kind, today, storedNumbers(kind, today)));
}

Project NewProjectWindow::enteredProject() const {
    return {SqlValues::trimmed(numberEdit->text()),
            SqlValues::trimmed(sourceEdit->text()),
            SqlValues::trimmed(aimEdit->text()),
            SqlValues::trimmed(contentEdit->text()),
            SqlValues::trimmed(shell_.member().displayName),
            SqlValues::trimmed(performers->text()),
            TimeText::format(createTimeEdit->dateTime()),
            TimeText::format(dueTimeEdit->dateTime()),
            QStringLiteral("No"),
            QStringLiteral("0"),
            QString()};
}

void NewProjectWindow::save() {
    guarded([this] {
        switch (mode_) {
        case Mode::Create:
            create();
            break;
        case Mode::Update:
            update();
            break;
        }
    });
}

void NewProjectWindow::fail(const QString &text, const QString &caption) {
    Dialogs::message(text, caption, QMessageBox::Critical);
}

void NewProjectWindow::create() {
    if (numberEdit->text() == kNumberPlaceholder) {
        fail(QStringLiteral("请先选择种类,以生成项目编号"), kTitle);
        return;
    }
    const Project project = enteredProject();
    const ChangeOutcome added = DataAccess::addProject(project);
    const SettledChange settled =
        SettledChange::of(added, [&] { return ReadBack::project(project); });
    if (!settled.made()) {
        // Only a refusal can mean the number was taken; a server out of
        // reach is said as such. Everything entered stays for another try.
        const bool refused = !added.ok() && added.failure().kind == Failure::Kind::Refused;
        if (!refused || !takeNewNumberIfTaken())
            fail(QStringLiteral("添加项目出错！\r") + settled.text,
                 QStringLiteral("创建新项目/任务"));
        return;
    }
    resetAfterSave();
    NoticePost::post(shell_,
                     QStringLiteral("项目编号:") + project.id + QStringLiteral("项目内容:") +
                         project.content + QStringLiteral("已成功创建"),
                     project.creator, project.performers);
}

// Another member stored the generated number first: the next free number of
// that kind and day takes its place, so one more press creates the project.
bool NewProjectWindow::takeNewNumberIfTaken() {
    static const QRegularExpression generated(QStringLiteral("^(GD|KF|SW)(\\d{8})\\d{3}$"));
    const QString number = SqlValues::trimmed(numberEdit->text());
    const auto match = generated.match(number);
    const QDate day = QDate::fromString(match.captured(2), QStringLiteral("yyyyMMdd"));
    if (!match.hasMatch() || !day.isValid())
        return false;
    const ProjectRules::Kind kind = ProjectRules::kindOfNumber(match.captured(1));
    const QStringList stored = storedNumbers(kind, day);
    if (!stored.contains(number))
        return false;
    const QString next = ProjectRules::nextNumber(kind, day, stored);
    numberEdit->setText(next);
    Dialogs::message(QStringLiteral("项目编号") + number + QStringLiteral("已被他人使用，已改为") +
                         next + QStringLiteral("，请再次点击“创建”。"),
                     QStringLiteral("创建新项目/任务"), QMessageBox::Information);
    return true;
}

void NewProjectWindow::update() {
    if (!updating_)
        return; // the project under edit is stored already
    const QString caption = QStringLiteral("更新新项目/任务");
    Project edited = *updating_;
    const Project entered = enteredProject();
    edited.source = entered.source;
    edited.aim = entered.aim;
    edited.content = entered.content;
    edited.performers = entered.performers;
    edited.createTime = entered.createTime;
    edited.dueTime = entered.dueTime;
    edited.completeFlag = QStringLiteral("No"); // an update reopens the project
    // The number and the creator pick the stored row: an edit never changes them.
    Q_ASSERT(edited.id == updating_->id && edited.creator == updating_->creator);
    // One request: the stored project is replaced, or stays as it was.
    const SettledChange replaced =
        SettledChange::of(DataAccess::replaceProject(SqlValues::trimmed(updating_->id), edited),
                          [&] { return ReadBack::project(edited); });
    if (!replaced.madeOnARow()) {
        fail(QStringLiteral("更新项目出错！") +
                 (replaced.text.isEmpty() ? QString() : "\r" + replaced.text),
             caption);
        return;
    }
    updating_.reset();
    resetAfterSave();
    dueTimeEdit->setEnabled(true);
    NoticePost::post(shell_,
                     QStringLiteral("项目编号:") + edited.id + QStringLiteral("项目内容:") +
                         edited.content + QStringLiteral("已成功更新"),
                     shell_.member().displayName, edited.performers);
    emit projectUpdated(edited);
}

void NewProjectWindow::resetAfterSave() {
    numberEdit->setText(kNumberPlaceholder);
    showKind(std::nullopt);
    sourceEdit->clear();
    aimEdit->clear();
    contentEdit->clear();
    performers->setText(shell_.member().displayName);
    createTimeEdit->setDateTime(AppClock::now());
    dueTimeEdit->setDateTime(AppClock::now());
    shell_.reloadLists();
}
