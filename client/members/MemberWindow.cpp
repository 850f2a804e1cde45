#include "MemberWindow.h"

#include "DataAccess.h"
#include "Dialogs.h"
#include "ErrorGuard.h"
#include "MemberRights.h"
#include "RecordSetModel.h"
#include "SqlValues.h"
#include "WindowConventions.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

MemberWindow::MemberWindow(const Member *currentMember, QWidget *parent)
    : ChildWindow(QStringLiteral("平台成员管理"), kWidth, kShowHeight, parent),
      member_(currentMember) {
    memberRecords = new RecordSet(this);
    model_ = new RecordSetModel(memberRecords, this);
    memberGrid = new QTableView(this);
    memberGrid->setModel(model_);
    memberGrid->setGeometry(8, 8, 444, 145);
    memberGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    memberGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    memberGrid->verticalHeader()->setDefaultSectionSize(20);
    connect(model_, &QAbstractItemModel::modelReset, this, &MemberWindow::titleGridColumns);

    editRow = new QWidget(this);
    editRow->setGeometry(8, 155, 444, 28);
    userNameEdit = new QLineEdit(editRow);
    userNameEdit->setGeometry(0, 3, 140, 21);
    passwordEdit = new QLineEdit(editRow); // the password in plain text, as the grid shows it
    passwordEdit->setGeometry(150, 3, 140, 21);
    displayNameEdit = new QLineEdit(editRow);
    displayNameEdit->setGeometry(300, 3, 144, 21);

    addButton = new QPushButton(QStringLiteral("添加"), this);
    changeButton = new QPushButton(QStringLiteral("修改"), this);
    connect(addButton, &QPushButton::clicked, this, &MemberWindow::addMember);
    connect(changeButton, &QPushButton::clicked, this, &MemberWindow::changeOwnLogin);

    // Fixed width; the height follows the mode between the two limits.
    setMinimumSize(kWidth, kShowHeight);
    setMaximumSize(kWidth, kEditHeight);
    resize(kWidth, kShowHeight);
    WindowConventions::centreOnScreen(this, kWidth, kShowHeight);
    addButton->setGeometry(120, kShowButtonTop, 75, 25);
    changeButton->setGeometry(265, kShowButtonTop, 75, 25);
    editRow->hide();
    WindowConventions::clearInputMethodHints(this);
}

void MemberWindow::titleGridColumns() {
    model_->setTitles({QStringLiteral("用户名"), QStringLiteral("密码"), QStringLiteral("姓名")});
    const int widths[] = {100, 100, 273};
    for (int column = 0; column < 3 && column < model_->columnCount(); ++column)
        memberGrid->setColumnWidth(column, widths[column]);
}

void MemberWindow::refill() {
    userNameEdit->setText(member_->userName);
    passwordEdit->setText(member_->password);
    displayNameEdit->setText(member_->displayName);
    if (isPrivilegedLogin(member_->userName)) {
        addButton->setEnabled(true);
        memberRecords->load(DataAccess::selectMembers());
    } else {
        addButton->setEnabled(false);
        memberRecords->load(DataAccess::selectMembers(SqlValues::trimmed(userNameEdit->text())));
    }
}

void MemberWindow::showEditRow(bool shown) {
    const int top = shown ? kEditButtonTop : kShowButtonTop;
    addButton->move(addButton->x(), top);
    changeButton->move(changeButton->x(), top);
    editRow->setVisible(shown);
    resize(kWidth, shown ? kEditHeight : kShowHeight);
}

void MemberWindow::addMember() {
    guarded([this] { runAddStep(); });
}

void MemberWindow::runAddStep() {
    if (mode_ == Mode::Show) {
        showEditRow(true);
        userNameEdit->clear();
        passwordEdit->clear();
        displayNameEdit->clear();
        mode_ = Mode::Add;
        changeButton->setEnabled(false);
    } else if (mode_ == Mode::Add) {
        const Member newMember{SqlValues::trimmed(userNameEdit->text()),
                               SqlValues::trimmed(passwordEdit->text()),
                               SqlValues::trimmed(displayNameEdit->text())};
        if (!DataAccess::addMember(newMember))
            return; // refused: the entered values stay for another try
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
        showEditRow(true);
        mode_ = Mode::ChangeOwnLogin;
        addButton->setEnabled(false);
    } else if (mode_ == Mode::ChangeOwnLogin) {
        const Member oldLogin = ownRowLogin();
        memberRecords->load(DataAccess::selectMembers(oldLogin.userName, oldLogin.password));
        const Member newLogin{SqlValues::trimmed(userNameEdit->text()),
                              SqlValues::trimmed(passwordEdit->text()),
                              SqlValues::trimmed(displayNameEdit->text())};
        // Matching no row stored nothing: the row was changed or removed elsewhere.
        if (!DataAccess::updateMemberCounted(oldLogin, newLogin).changedAnyRow()) {
            Dialogs::inform(QStringLiteral("修改数据出错！"));
            return;
        }
        changedLogin_ = newLogin;
        if (onOwnLoginChanged_)
            onOwnLoginChanged_(newLogin); // before anything else asks the server
        showEditRow(false);
        mode_ = Mode::Show;
        addButton->setEnabled(true);
        refill();
    }
}

Member MemberWindow::ownRowLogin() const {
    return changedLogin_ ? *changedLogin_ : *member_;
}
