#include "LoginWindow.h"

#include "DataAccess.h"
#include "Dialogs.h"
#include "ErrorGuard.h"
#include "LoginSettings.h"
#include "MainWindow.h"
#include "SqlValues.h"
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

LoginWindow::LoginWindow(MainWindow *mainWindow, QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint), main_(mainWindow) {
    QFont tahoma(QStringLiteral("Tahoma"));
    setFont(tahoma);
    resize(kWidth, kHeight);
    loginRecords = new RecordSet(this);

    userNameLabel = new QLabel(QStringLiteral("用户名"), this);
    userNameLabel->move(136, 112);
    userNameLabel->setStyleSheet(fuchsiaOnHighlight());
    userNameEdit = new QLineEdit(this);
    userNameEdit->setGeometry(240, 115, 201, 21);
    passwordLabel = new QLabel(QStringLiteral("密  码"), this);
    passwordLabel->move(136, 200);
    passwordLabel->setStyleSheet(fuchsiaOnHighlight());
    passwordEdit = new QLineEdit(this);
    passwordEdit->setGeometry(240, 203, 201, 21);
    passwordEdit->setEchoMode(QLineEdit::Password);
    internalNetworkButton = new QRadioButton(QStringLiteral("内网"), this);
    internalNetworkButton->move(160, 256);
    internalNetworkButton->setChecked(true);
    internetButton = new QRadioButton(QStringLiteral("外网"), this);
    internetButton->move(328, 256);
    for (auto *choice : {internalNetworkButton, internetButton})
        choice->setStyleSheet(QStringLiteral("color: #ff00ff;"));
    loginButton = new QPushButton(QStringLiteral("登录"), this);
    loginButton->setGeometry(130, 303, 75, 25);
    quitButton = new QPushButton(QStringLiteral("退出"), this);
    quitButton->setGeometry(388, 303, 75, 25);
    loginButton->setAutoDefault(false);
    quitButton->setAutoDefault(false);
    setTabOrder(loginButton, quitButton);
    setTabOrder(quitButton, userNameEdit);
    setTabOrder(userNameEdit, passwordEdit);
    setTabOrder(passwordEdit, internetButton);
    setTabOrder(internetButton, internalNetworkButton);
    connect(loginButton, &QPushButton::clicked, this, &LoginWindow::logIn);
    connect(quitButton, &QPushButton::clicked, this, &LoginWindow::quit);

    // Enter and Escape act wherever the focus is, before the control sees them.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    WindowConventions::centreOnScreen(this, kWidth, kHeight);
    userNameEdit->setText(LoginSettings::savedUserName());
    passwordEdit->setText(LoginSettings::savedPassword());
    WindowConventions::clearInputMethodHints(this);
    loginButton->setFocus(); // first in tab order
}

bool LoginWindow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            logIn();
            return true;
        }
        if (key == Qt::Key_Escape) {
            quit();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LoginWindow::logIn() {
    guarded([this] { checkLogin(); });
}

void LoginWindow::checkLogin() {
    main_->connection.setHostName(internalNetworkButton->isChecked()
                                      ? LoginSettings::internalHost()
                                      : LoginSettings::internetHost());
    main_->connection.setPort(LoginSettings::port());
    main_->connection.setTls(LoginSettings::tls(), LoginSettings::caFile());
    main_->reload();

    const QString userName = SqlValues::trimmed(userNameEdit->text());
    const QString password = SqlValues::trimmed(passwordEdit->text());
    if (userName.isEmpty() || password.isEmpty()) {
        Dialogs::inform(QStringLiteral("请输入用户级及密码！"));
        return;
    }
    // The statement goes with the typed login: the server checks it first.
    main_->connection.setCredentials(userName, password);
    loginRecords->load(DataAccess::checkLogin(userName, password));
    if (loginRecords->recordCount() == 0) {
        Dialogs::inform(QStringLiteral("登录用户名/密码错误，请重新输入"));
        return;
    }
    loginRecords->first();
    main_->setMember({userName, password,
                      SqlValues::trimmed(loginRecords->fieldByName(QStringLiteral("Remark")))});
    LoginSettings::writeLogin(userName, password);
    main_->reload();
    main_->refreshNotices();
    accept();
}

void LoginWindow::quit() {
    quitChosen_ = true;
    reject();
}
