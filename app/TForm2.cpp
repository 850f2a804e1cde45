#include "TForm2.h"

#include "CSupports.h"
#include "Dialogs.h"
#include "ErrorGuard.h"
#include "LoginSettings.h"
#include "SqlValues.h"
#include "TForm1.h"
#include "WindowConventions.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

QString fuchsiaOnHighlight() {
    return QStringLiteral("color: #ff00ff; background: palette(highlight); font-size: 20px;");
}

} // namespace

TForm2::TForm2(TForm1 *mainWindow, QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint), main_(mainWindow) {
    QFont tahoma(QStringLiteral("Tahoma"));
    setFont(tahoma);
    resize(kWidth, kHeight);
    LoginDataSet = new RecordSet(this);

    Label1 = new QLabel(QStringLiteral("用户名"), this);
    Label1->move(136, 112);
    Label1->setStyleSheet(fuchsiaOnHighlight());
    mUseName = new QLineEdit(this);
    mUseName->setGeometry(240, 115, 201, 21);
    Label2 = new QLabel(QStringLiteral("密  码"), this);
    Label2->move(136, 200);
    Label2->setStyleSheet(fuchsiaOnHighlight());
    mPassWord = new QLineEdit(this);
    mPassWord->setGeometry(240, 203, 201, 21);
    mPassWord->setEchoMode(QLineEdit::Password);
    RadioButton1 = new QRadioButton(QStringLiteral("内网"), this);
    RadioButton1->move(160, 256);
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("外网"), this);
    RadioButton2->move(328, 256);
    for (auto *choice : {RadioButton1, RadioButton2})
        choice->setStyleSheet(QStringLiteral("color: #ff00ff;"));
    Button1 = new QPushButton(QStringLiteral("登录"), this);
    Button1->setGeometry(130, 303, 75, 25);
    Button2 = new QPushButton(QStringLiteral("退出"), this);
    Button2->setGeometry(388, 303, 75, 25);
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, mUseName);
    setTabOrder(mUseName, mPassWord);
    setTabOrder(mPassWord, RadioButton2);
    setTabOrder(RadioButton2, RadioButton1);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);

    // Enter and Escape act wherever the focus is, before the control sees them.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    FormCreate();
}

void TForm2::FormCreate() {
    WindowConventions::centreOnScreen(this, kWidth, kHeight);
    mUseName->setText(LoginSettings::loginUseName());
    mPassWord->setText(LoginSettings::loginPassWord());
    WindowConventions::clearInputMethodHints(this);
    Button1->setFocus(); // first in tab order
}

bool TForm2::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Button1Click();
            return true;
        }
        if (key == Qt::Key_Escape) {
            Button2Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::Button1Click() {
    guarded([this] { logIn(); });
}

void TForm2::logIn() {
    main_->mSQLCon.setHostName(RadioButton1->isChecked() ? LoginSettings::internalHost()
                                                         : LoginSettings::internetHost());
    main_->mSQLCon.setPort(LoginSettings::port());
    main_->FormInit();

    const QString useName = SqlValues::trimmed(mUseName->text());
    const QString passWord = SqlValues::trimmed(mPassWord->text());
    if (useName.isEmpty() || passWord.isEmpty()) {
        Dialogs::inform(QStringLiteral("请输入用户级及密码！"));
        return;
    }
    LoginDataSet->load(SelectLogin(useName, passWord));
    if (LoginDataSet->recordCount() == 0) {
        Dialogs::inform(QStringLiteral("登录用户名/密码错误，请重新输入"));
        return;
    }
    LoginDataSet->first();
    main_->setMember(
        {useName, passWord, SqlValues::trimmed(LoginDataSet->fieldByName(QStringLiteral("Remark")))});
    LoginSettings::writeLogin(useName, passWord);
    main_->FormInit();
    main_->FormNotice();
    accept();
}

void TForm2::Button2Click() {
    quitChosen_ = true;
    reject();
}
