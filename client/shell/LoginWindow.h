#pragma once
// The login window: checks a member against the server, chooses the server
// address, and remembers the last successful login in Server.ini.

#include "data/records/RecordSet.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class MainWindow;

class LoginWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 600, kHeight = 375;
    explicit LoginWindow(MainWindow *mainWindow, QWidget *parent = nullptr);

    QLabel *userNameLabel, *passwordLabel;
    QLineEdit *userNameEdit, *passwordEdit;
    QRadioButton *internalNetworkButton, *internetButton;
    QPushButton *loginButton, *quitButton;
    RecordSet *loginRecords;

    bool quitChosen() const { return quitChosen_; }

public slots:
    void logIn(); // 登录
    void quit();  // 退出

protected:
    // Enter logs in and Escape quits, wherever the focus is.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void checkLogin();
    void focusFirstEmptyField();
    MainWindow *main_;
    bool quitChosen_ = false;
};
