#include "shell/LoginWindow.h"

#include "data/DataAccess.h"
#include "data/statements/SqlValues.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "shell/LoginSettings.h"
#include "shell/MainWindow.h"
#include "widgets/WindowConventions.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QString fuchsiaOnHighlight() {
    return QStringLiteral("color: #ff00ff; background: palette(highlight); font-size: 20px;");
}

} // namespace

LoginWindow::LoginWindow(MainWindow *mainWindow, QWidget *parent)
    // A window of its own, not a dialog: shown before any other window, it
    // has none to stay in front of (a dialog would be tied to a hidden one).
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), main_(mainWindow) {
    QFont tahoma(QStringLiteral("Tahoma"));
    setFont(tahoma);
    setWindowTitle(QStringLiteral("登录"));
    loginRecords = new RecordSet(this);

    userNameLabel = new QLabel(QStringLiteral("用户名"), this);
    userNameLabel->setStyleSheet(fuchsiaOnHighlight());
    userNameEdit = new QLineEdit(this);
    userNameEdit->setFixedWidth(201);
    userNameLabel->setBuddy(userNameEdit);
    passwordLabel = new QLabel(QStringLiteral("密  码"), this);
    passwordLabel->setStyleSheet(fuchsiaOnHighlight());
    passwordEdit = new QLineEdit(this);
    passwordEdit->setFixedWidth(201);
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setAccessibleName(QStringLiteral("密码"));
    passwordLabel->setBuddy(passwordEdit);
    internalNetworkButton = new QRadioButton(QStringLiteral("内网"), this);
    internalNetworkButton->setChecked(true);
    internetButton = new QRadioButton(QStringLiteral("外网"), this);
    for (auto *choice : {internalNetworkButton, internetButton})
        choice->setStyleSheet(QStringLiteral("color: #ff00ff;"));
    loginButton = new QPushButton(QStringLiteral("登录"), this);
    quitButton = new QPushButton(QStringLiteral("退出"), this);
    for (QPushButton *button : {loginButton, quitButton}) {
        button->setFixedSize(75, 25);
        // Enter and Escape are the window's own (see eventFilter).
        button->setAutoDefault(false);
    }

    // The fields in the middle of the window, wherever its size puts them.
    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(80);
    fields->setVerticalSpacing(62);
    fields->addWidget(userNameLabel, 0, 0);
    fields->addWidget(userNameEdit, 0, 1);
    fields->addWidget(passwordLabel, 1, 0);
    fields->addWidget(passwordEdit, 1, 1);
    auto *choices = new QHBoxLayout;
    choices->addSpacing(24);
    choices->addWidget(internalNetworkButton);
    choices->addSpacing(110);
    choices->addWidget(internetButton);
    choices->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(loginButton);
    buttons->addStretch(1);
    buttons->addWidget(quitButton);
    auto *column = new QVBoxLayout;
    column->addLayout(fields);
    column->addSpacing(24);
    column->addLayout(choices);
    column->addSpacing(22);
    column->addLayout(buttons);
    auto *across = new QHBoxLayout;
    across->addStretch(130);
    across->addLayout(column);
    across->addStretch(137);
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(104);
    layout->addLayout(across);
    layout->addStretch(40);

    // The Tab order follows the layout.
    setTabOrder(userNameEdit, passwordEdit);
    setTabOrder(passwordEdit, internalNetworkButton);
    setTabOrder(internalNetworkButton, internetButton);
    setTabOrder(internetButton, loginButton);
    setTabOrder(loginButton, quitButton);
    connect(loginButton, &QPushButton::clicked, this, &LoginWindow::logIn);
    connect(quitButton, &QPushButton::clicked, this, &LoginWindow::quit);

    // Enter and Escape act wherever the focus is, before the control sees them.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    WindowConventions::openInWorkArea(this, QSize(kWidth, kHeight));
    userNameEdit->setText(LoginSettings::savedUserName());
    passwordEdit->setText(LoginSettings::savedPassword());
    WindowConventions::clearInputMethodHints(this);
    focusFirstEmptyField();
}

// The first field still to fill in; with both filled in, "登录".
void LoginWindow::focusFirstEmptyField() {
    if (SqlValues::trimmed(userNameEdit->text()).isEmpty())
        userNameEdit->setFocus();
    else if (SqlValues::trimmed(passwordEdit->text()).isEmpty())
        passwordEdit->setFocus();
    else
        loginButton->setFocus();
}

void LoginWindow::showEvent(QShowEvent *event) {
    // Sent before the window appears: it opens inside the work area.
    if (!event->spontaneous())
        WindowConventions::keepInWorkArea(this);
    QDialog::showEvent(event);
}

bool LoginWindow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter presses the button that has the focus; anywhere else it logs in.
            if (watched == quitButton)
                quit();
            else
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
        focusFirstEmptyField();
        return;
    }
    // The statement goes with the typed login: the server checks it first.
    main_->connection.setCredentials(userName, password);
    loginRecords->load(rowsOf(DataAccess::checkLogin(userName, password)));
    if (loginRecords->recordCount() == 0) {
        Dialogs::inform(QStringLiteral("登录用户名/密码错误，请重新输入"));
        // Ready to be typed over.
        passwordEdit->setFocus();
        passwordEdit->selectAll();
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
