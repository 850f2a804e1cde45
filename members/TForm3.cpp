#include "TForm3.h"

#include "CSupports.h"
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

namespace {
QString mStr; // the window's mode
const QString kShow = QStringLiteral("Show");
const QString kAdd = QStringLiteral("Add");
const QString kUpData = QStringLiteral("UpData");
} // namespace

const QString &MemberWindowMode() { return mStr; }

TForm3::TForm3(const TLogininf *currentMember, QWidget *parent)
    : ChildWindow(QStringLiteral("平台成员管理"), kWidth, kShowHeight, parent),
      member_(currentMember) {
    LoginDataSet = new RecordSet(this);
    model_ = new RecordSetModel(LoginDataSet, this);
    LoginGrid = new QTableView(this);
    LoginGrid->setModel(model_);
    LoginGrid->setGeometry(8, 8, 444, 145);
    LoginGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LoginGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    LoginGrid->verticalHeader()->setDefaultSectionSize(20);
    connect(model_, &QAbstractItemModel::modelReset, this, &TForm3::LoginGridDrawColumnCell);

    Panel1 = new QWidget(this);
    Panel1->setGeometry(8, 155, 444, 28);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setGeometry(0, 3, 140, 21);
    Edit2 = new QLineEdit(Panel1); // the password in plain text, as the grid shows it
    Edit2->setGeometry(150, 3, 140, 21);
    Edit3 = new QLineEdit(Panel1);
    Edit3->setGeometry(300, 3, 144, 21);

    mAdd = new QPushButton(QStringLiteral("添加"), this);
    mUpdate = new QPushButton(QStringLiteral("修改"), this);
    connect(mAdd, &QPushButton::clicked, this, &TForm3::mAddClick);
    connect(mUpdate, &QPushButton::clicked, this, &TForm3::mUpdateClick);
    FormCreate();
}

void TForm3::FormCreate() {
    // Fixed width; the height follows the mode between the two limits.
    setMinimumSize(kWidth, kShowHeight);
    setMaximumSize(kWidth, kEditHeight);
    resize(kWidth, kShowHeight);
    WindowConventions::centreOnScreen(this, kWidth, kShowHeight);
    mAdd->setGeometry(120, kShowButtonTop, 75, 25);
    mUpdate->setGeometry(265, kShowButtonTop, 75, 25);
    Panel1->hide();
    mStr = kShow;
    WindowConventions::clearInputMethodHints(this);
}

void TForm3::LoginGridDrawColumnCell() {
    model_->setTitles({QStringLiteral("用户名"), QStringLiteral("密码"), QStringLiteral("姓名")});
    const int widths[] = {100, 100, 273};
    for (int column = 0; column < 3 && column < model_->columnCount(); ++column)
        LoginGrid->setColumnWidth(column, widths[column]);
}

void TForm3::FormInit() {
    Edit1->setText(member_->UseName);
    Edit2->setText(member_->PassWord);
    Edit3->setText(member_->Remark);
    if (isPrivilegedLogin(member_->UseName)) {
        mAdd->setEnabled(true);
        LoginDataSet->load(SelectLogin());
    } else {
        mAdd->setEnabled(false);
        LoginDataSet->load(SelectLogin(SqlValues::trimmed(Edit1->text())));
    }
}

void TForm3::showEditRow(bool shown) {
    const int top = shown ? kEditButtonTop : kShowButtonTop;
    mAdd->move(mAdd->x(), top);
    mUpdate->move(mUpdate->x(), top);
    Panel1->setVisible(shown);
    resize(kWidth, shown ? kEditHeight : kShowHeight);
}

void TForm3::mAddClick() {
    guarded([this] { addMember(); });
}

void TForm3::addMember() {
    if (mStr == kShow) {
        showEditRow(true);
        Edit1->clear();
        Edit2->clear();
        Edit3->clear();
        mStr = kAdd;
        mUpdate->setEnabled(false);
    } else if (mStr == kAdd) {
        const TLogininf mLogininf{SqlValues::trimmed(Edit1->text()),
                                  SqlValues::trimmed(Edit2->text()),
                                  SqlValues::trimmed(Edit3->text())};
        if (!AddNewLogin(&mLogininf))
            return; // refused: the entered values stay for another try
        showEditRow(false);
        mStr = kShow;
        mUpdate->setEnabled(true);
        FormInit();
    }
}

void TForm3::mUpdateClick() {
    guarded([this] { changeOwnLogin(); });
}

void TForm3::changeOwnLogin() {
    if (mStr == kShow) {
        showEditRow(true);
        mStr = kUpData;
        mAdd->setEnabled(false);
    } else if (mStr == kUpData) {
        LoginDataSet->load(SelectLogin(member_->UseName, member_->PassWord));
        const TLogininf mOld{member_->UseName, member_->PassWord, QString()};
        const TLogininf mNew{SqlValues::trimmed(Edit1->text()), SqlValues::trimmed(Edit2->text()),
                             SqlValues::trimmed(Edit3->text())};
        if (!UpdataLogin(&mOld, &mNew)) {
            Dialogs::inform(QStringLiteral("修改数据出错！"));
            return;
        }
        showEditRow(false);
        mStr = kShow;
        mAdd->setEnabled(true);
        FormInit();
    }
}
