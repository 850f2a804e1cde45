#pragma once
// The login window: checks a member against the server, chooses the server
// address, and remembers the last successful login in Server.ini.

#include "RecordSet.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TForm1;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 600, kHeight = 375;
    explicit TForm2(TForm1 *mainWindow, QWidget *parent = nullptr);

    QLabel *Label1, *Label2;
    QLineEdit *mUseName, *mPassWord;
    QRadioButton *RadioButton1, *RadioButton2;
    QPushButton *Button1, *Button2;
    RecordSet *LoginDataSet;

    bool quitChosen() const { return quitChosen_; }

public slots:
    void Button1Click(); // 登录
    void Button2Click(); // 退出

protected:
    bool eventFilter(QObject *watched, QEvent *event) override; // FormKeyDown

private:
    void FormCreate();
    void logIn();
    TForm1 *main_;
    bool quitChosen_ = false;
};
