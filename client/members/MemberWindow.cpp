#include "members/MemberWindow.h"

#include "data/DataAccess.h"
#include "data/ReadBack.h"
#include "data/SettledChange.h"
#include "data/records/RecordSetModel.h"
#include "data/statements/SqlValues.h"
#include "members/MemberRights.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "widgets/CutTextTips.h"
#include "widgets/GridColumns.h"
#include "widgets/WindowConventions.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

MemberWindow::MemberWindow(const Member *currentMember, QWidget *parent)
    : ChildWindow(QStringLiteral("平台成员管理"), kWidth, kShowHeight, parent),
      member_(currentMember) {
    memberRecords = new RecordSet(this);
    model_ = new RecordSetModel(memberRecords, this);
    model_->setTitles({QStringLiteral("用户名"), QStringLiteral("密码"), QStringLiteral("姓名")});
    memberGrid = new QTableView(this);
    memberGrid->setModel(model_);
    memberGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    memberGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    memberGrid->verticalHeader()->setDefaultSectionSize(20);
    memberGrid->setItemDelegate(new CutTextTips(memberGrid));
    memberGrid->setTabKeyNavigation(false); // one Tab stop
    memberGrid->setAccessibleName(QStringLiteral("成员列表"));
    new GridColumns(memberGrid, {{100, {}}, {100, {}}, {273, {}}});

    // Screen readers and the empty fields name what each edit holds.
    editRow = new QWidget(this);
    auto *edits = new QHBoxLayout(editRow);
    edits->setContentsMargins(0, 3, 0, 3);
    edits->setSpacing(10);
    userNameEdit = new QLineEdit(editRow);
    passwordEdit = new QLineEdit(editRow); // the password in plain text, as the grid shows it
    displayNameEdit = new QLineEdit(editRow);
    const QList<QPair<QLineEdit *, QString>> named = {{userNameEdit, QStringLiteral("用户名")},
                                                      {passwordEdit, QStringLiteral("密码")},
                                                      {displayNameEdit, QStringLiteral("姓名")}};
    for (const auto &[edit, name] : named) {
        edit->setAccessibleName(name);
        edit->setPlaceholderText(name);
        edits->addWidget(edit, 1);
    }

    addButton = new QPushButton(QStringLiteral("添加"), this);
    changeButton = new QPushButton(QStringLiteral("修改"), this);
    for (QPushButton *button : {addButton, changeButton}) {
        button->setMinimumSize(75, 25);
        button->setAutoDefault(true); // Enter presses the button that has the focus
    }
    connect(addButton, &QPushButton::clicked, this, &MemberWindow::addMember);
    connect(changeButton, &QPushButton::clicked, this, &MemberWindow::changeOwnLogin);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(112);
    buttons->addWidget(addButton);
    buttons->addStretch(70);
    buttons->addWidget(changeButton);
    buttons->addStretch(112);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    layout->addWidget(memberGrid, 1);
    layout->addWidget(editRow);
    layout->addLayout(buttons);
    editRow->hide();
    WindowConventions::clearInputMethodHints(this);
}

void MemberWindow::refill() {
    userNameEdit->setText(member_->userName);
    passwordEdit->setText(member_->password);
    displayNameEdit->setText(member_->displayName);
    if (isPrivilegedLogin(member_->userName)) {
        addButton->setEnabled(true);
        memberRecords->load(rowsOf(DataAccess::selectMembers()));
    } else {
        addButton->setEnabled(false);
        memberRecords->load(
            rowsOf(DataAccess::selectMembers(SqlValues::trimmed(userNameEdit->text()))));
    }
}

void MemberWindow::showEditRow(bool shown) {
    if (editRow->isVisibleTo(this) == shown)
        return;
    editRow->setVisible(shown);
    // The window grows by the edit row and shrinks back: the list keeps its room.
    if (!isMaximized() && !isFullScreen())
        resize(width(), height() + (shown ? 1 : -1) * (kEditHeight - kShowHeight));
    setDefaultButton(!shown ? nullptr : mode_ == Mode::Add ? addButton : changeButton);
    if (shown)
        (mode_ == Mode::Add ? userNameEdit : passwordEdit)->setFocus();
}

void MemberWindow::addMember() {
    guarded([this] { runAddStep(); });
}

void MemberWindow::runAddStep() {
    if (mode_ == Mode::Show) {
        userNameEdit->clear();
        passwordEdit->clear();
        displayNameEdit->clear();
        mode_ = Mode::Add;
        showEditRow(true);
        changeButton->setEnabled(false);
    } else if (mode_ == Mode::Add) {
        const Member newMember = enteredMember();
        const SettledChange added = SettledChange::of(
            DataAccess::addMember(newMember), [&] { return ReadBack::member(newMember); });
        if (!added.made()) {
            // The entered values stay for another try; the member reads why.
            Dialogs::inform(QStringLiteral("添加成员出错！\r") + added.text);
            return;
        }
        showEditRow(false);
        mode_ = Mode::Show;
        changeButton->setEnabled(true);
        refill();
    }
}

void MemberWindow::changeOwnLogin() {
    guarded([this] { runChangeStep(); });
}

void MemberWindow::runChangeStep() {
    if (mode_ == Mode::Show) {
        mode_ = Mode::ChangeOwnLogin;
        showEditRow(true);
        addButton->setEnabled(false);
    } else if (mode_ == Mode::ChangeOwnLogin) {
        const Member oldLogin = *member_;
        memberRecords->load(
            rowsOf(DataAccess::selectMembers(oldLogin.userName, oldLogin.password)));
        const Member newLogin = enteredMember();
        // Matching no row stored nothing: the row was changed or removed elsewhere.
        const SettledChange changed = SettledChange::of(
            DataAccess::updateMember(oldLogin, newLogin), [&] { return ReadBack::member(newLogin); });
        if (!changed.madeOnARow()) {
            Dialogs::inform(QStringLiteral("修改数据出错！") +
                            (changed.text.isEmpty() ? QString() : "\r" + changed.text));
            return;
        }
        if (onOwnLoginChanged_)
            onOwnLoginChanged_(newLogin); // before anything else asks the server
        showEditRow(false);
        mode_ = Mode::Show;
        addButton->setEnabled(true);
        refill();
    }
}

// Names as a person reads them: trimmed, in the composed Unicode form the
// server stores and compares.
Member MemberWindow::enteredMember() const {
    const auto name = [](const QLineEdit *edit) {
        return SqlValues::trimmed(edit->text()).normalized(QString::NormalizationForm_C);
    };
    return {name(userNameEdit), SqlValues::trimmed(passwordEdit->text()), name(displayNameEdit)};
}
