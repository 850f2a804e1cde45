// The member management window against a real server.

#include "ClientApp.h"
#include "members/MemberWindow.h"
#include "notices/NoticePost.h"
#include "seams/Dialogs.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "support/ShellFixture.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

const QList<QStringList> kMembers = {
    {"TB58", "pw", "Mareth"}, {"vqk", "q", "Quenby"}, {"kestra", "k", "Kestra"}};

QStringList gridColumn(QTableView *grid, int column) {
    QStringList values;
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        values << grid->model()->index(row, column).data().toString();
    return values;
}

} // namespace

class TestMembers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void privilegedMemberSeesAllAndAdds_data();
    void privilegedMemberSeesAllAndAdds();
    void ordinaryMemberSeesOwnRowOnly_data();
    void ordinaryMemberSeesOwnRowOnly();
    void changeOfOwnLoginIsWhatTheNextLoginChecks();
    void refusedChangeStaysInChangeMode();
    void ownLoginChangedElsewhereIsRefused_data();
    void ownLoginChangedElsewhereIsRefused();
    void refusedAddIsSaidAndStaysInAdd_data();
    void refusedAddIsSaidAndStaysInAdd();
    void ownNameChangeIsFollowed();
    void modeSurvivesClosingAndReopening();

private:
    void logInAndOpen(const QString &user, const QString &password);
    bool canLogIn(const QString &user, const QString &password);
    void checkMode(MemberWindow::Mode mode, int height, bool panelShown);

    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
    MemberWindow *window_ = nullptr;
};

void TestMembers::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start(kMembers), qPrintable(fixture_.server().errorText()));
    app_ = std::make_unique<ClientApp>();
    window_ = app_->memberWindow;
}

void TestMembers::cleanup() {
    app_.reset();
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestMembers::logInAndOpen(const QString &user, const QString &password) {
    QVERIFY(ShellFixture::logIn(*app_, user, password));
    app_->mainWindow->openMemberWindow();
    QVERIFY(window_->isVisible());
    QVERIFY(!app_->mainWindow->isEnabled());
}

bool TestMembers::canLogIn(const QString &user, const QString &password) {
    ClientApp other;
    const bool loggedIn = ShellFixture::logIn(other, user, password);
    Dialogs::takeShown();
    return loggedIn;
}

// The window grows by the edit row; the buttons stand under the edit row
// while it is shown, under the list otherwise.
void TestMembers::checkMode(MemberWindow::Mode mode, int height, bool panelShown) {
    QCOMPARE(window_->mode(), mode);
    QCOMPARE(window_->height(), height);
    QCOMPARE(window_->editRow->isVisible(), panelShown);
    QApplication::sendPostedEvents(); // the layout follows the shown row
    const QWidget *above = panelShown ? window_->editRow : window_->memberGrid;
    for (const QPushButton *button : {window_->addButton, window_->changeButton}) {
        QVERIFY(button->y() >= above->geometry().bottom());
        QVERIFY(button->geometry().bottom() <= window_->height());
    }
}

void TestMembers::privilegedMemberSeesAllAndAdds_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("stored in capitals") << "TB58"
                                        << "pw";
    QTest::newRow("lower case") << "vqk"
                                << "q";
    QTest::newRow("stored in lower case, typed in capitals") << "VQK"
                                                             << "q";
}

void TestMembers::privilegedMemberSeesAllAndAdds() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    logInAndOpen(user, password);
    QVERIFY(window_->addButton->isEnabled());
    QCOMPARE(gridColumn(window_->memberGrid, 0), (QStringList{"TB58", "vqk", "kestra"}));
    auto *model = window_->memberGrid->model();
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), "用户名");
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), "姓名");
    QVERIFY(window_->memberGrid->columnWidth(2) >= 273);
    checkMode(MemberWindow::Mode::Show, 232, false);

    window_->addMember();
    checkMode(MemberWindow::Mode::Add, 263, true);
    // Screen readers name the three edits.
    const QList<QPair<QLineEdit *, QString>> named = {{window_->userNameEdit, "用户名"},
                                                      {window_->passwordEdit, "密码"},
                                                      {window_->displayNameEdit, "姓名"}};
    for (const auto &[edit, name] : named)
        QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name), name);
    QVERIFY(window_->userNameEdit->text().isEmpty() && window_->displayNameEdit->text().isEmpty());
    QVERIFY(!window_->changeButton->isEnabled());

    window_->userNameEdit->setText(" jorun ");
    window_->passwordEdit->setText("j");
    window_->displayNameEdit->setText("Jorun");
    window_->addMember();
    checkMode(MemberWindow::Mode::Show, 232, false);
    QVERIFY(window_->changeButton->isEnabled());
    QCOMPARE(gridColumn(window_->memberGrid, 0), (QStringList{"TB58", "vqk", "kestra", "jorun"}));
    QVERIFY(canLogIn("jorun", "j"));

    window_->close();
    QVERIFY(app_->mainWindow->isEnabled());
}

void TestMembers::ordinaryMemberSeesOwnRowOnly_data() {
    QTest::addColumn<QString>("user");
    QTest::newRow("as stored") << "kestra";
    QTest::newRow("in other letter case") << "Kestra";
}

void TestMembers::ordinaryMemberSeesOwnRowOnly() {
    QFETCH(QString, user);
    logInAndOpen(user, "k");
    QCOMPARE(gridColumn(window_->memberGrid, 0), QStringList{"kestra"});
    QCOMPARE(gridColumn(window_->memberGrid, 1), QStringList{"k"});
    QVERIFY(!window_->addButton->isEnabled());
    QVERIFY(window_->changeButton->isEnabled());
}

void TestMembers::changeOfOwnLoginIsWhatTheNextLoginChecks() {
    logInAndOpen("kestra", "k");
    window_->changeOwnLogin();
    checkMode(MemberWindow::Mode::ChangeOwnLogin, 263, true);
    QCOMPARE(window_->userNameEdit->text(), "kestra");
    QCOMPARE(window_->passwordEdit->text(), "k");
    QCOMPARE(window_->displayNameEdit->text(), "Kestra");
    QVERIFY(!window_->addButton->isEnabled());

    window_->userNameEdit->setText("kestra2");
    window_->passwordEdit->setText(" new ");
    window_->changeOwnLogin();
    checkMode(MemberWindow::Mode::Show, 232, false);
    // The current member follows the change: the window shows the new login.
    QCOMPARE(app_->mainWindow->member().userName, "kestra2");
    QCOMPARE(window_->userNameEdit->text(), "kestra2");
    QCOMPARE(gridColumn(window_->memberGrid, 0), QStringList{"kestra2"});
    QVERIFY(!window_->addButton->isEnabled());
    QVERIFY(canLogIn("kestra2", "new"));
    QVERIFY(!canLogIn("kestra", "k"));
    // The connection goes on with the new login: the member goes on working.
    app_->mainWindow->reload();
    app_->mainWindow->refreshNotices();

    // A second change in the same run finds the row under the login stored last.
    window_->changeOwnLogin();
    window_->userNameEdit->setText("kestra3");
    window_->passwordEdit->setText("newer");
    window_->changeOwnLogin();
    QCOMPARE(Dialogs::takeShown().size(), 0);
    checkMode(MemberWindow::Mode::Show, 232, false);
    QVERIFY(canLogIn("kestra3", "newer"));
    QVERIFY(!canLogIn("kestra2", "new"));
}

void TestMembers::refusedChangeStaysInChangeMode() {
    logInAndOpen("kestra", "k");
    window_->changeOwnLogin();
    window_->userNameEdit->setText("TB58"); // taken by another member
    window_->changeOwnLogin();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.startsWith("修改数据出错！\r服务器拒绝了此次请求，数据未改变。原因："), qPrintable(shown[0].text));
    checkMode(MemberWindow::Mode::ChangeOwnLogin, 263, true);
    QCOMPARE(gridColumn(window_->memberGrid, 0), QStringList{"kestra"});
    QVERIFY(canLogIn("kestra", "k"));
}

void TestMembers::ownLoginChangedElsewhereIsRefused_data() {
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("password changed elsewhere")
        << "update Login Set PassWord='elsewhere' where UseName='kestra'";
    QTest::newRow("login name changed elsewhere")
        << "update Login Set UseName='kestra9' where UseName='kestra'";
}

void TestMembers::ownLoginChangedElsewhereIsRefused() {
    QFETCH(QString, meanwhile);
    logInAndOpen("kestra", "k");
    window_->changeOwnLogin();
    QVERIFY(fixture_.exec(meanwhile));
    window_->passwordEdit->setText("new");
    window_->changeOwnLogin();
    // The server no longer knows the member by the login it was given, so
    // reading the own row fails before anything is changed.
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("服务器（127.0.0.1:%1）不接受当前成员的登录信息，请重新登录。")
                                .arg(fixture_.server().port()));
    checkMode(MemberWindow::Mode::ChangeOwnLogin, 263, true);
    QVERIFY(!canLogIn("kestra", "new"));
    QVERIFY(!canLogIn("kestra9", "new"));
}

void TestMembers::refusedAddIsSaidAndStaysInAdd_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    const QString taken = "该姓名或用户名已被其他成员使用。";
    const QString invalid = "姓名或用户名为空，或含有不允许的字符。";
    // Login names are unique whatever the case.
    QTest::newRow("login name taken") << "KESTRA" << "Other" << taken;
    QTest::newRow("display name taken") << "other" << "Kestra" << taken;
    QTest::newRow("empty display name") << "other" << "  " << invalid;
    QTest::newRow("separator in the name") << "other" << "Halvic|Kestra" << invalid;
}

void TestMembers::refusedAddIsSaidAndStaysInAdd() {
    QFETCH(QString, user);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    logInAndOpen("vqk", "q");
    window_->addMember();
    window_->userNameEdit->setText(user);
    window_->passwordEdit->setText("x");
    window_->displayNameEdit->setText(name);
    window_->addMember();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, "添加成员出错！\r服务器拒绝了此次请求，数据未改变。原因：" + reason);
    checkMode(MemberWindow::Mode::Add, 263, true);
    QCOMPARE(window_->userNameEdit->text(), user);
    QCOMPARE(window_->memberGrid->model()->rowCount(), 3);
}

// The own display name changed: the rest of the run goes on under it, and
// names go out composed, as the server stores and compares them.
void TestMembers::ownNameChangeIsFollowed() {
    logInAndOpen("kestra", "k");
    window_->changeOwnLogin();
    window_->displayNameEdit->setText(QString::fromUtf8("Ke\xcc\x81stra")); // e + combining acute
    window_->changeOwnLogin();
    QCOMPARE(Dialogs::takeShown().size(), 0);
    const QString composed = QString::fromUtf8("K\xc3\xa9stra");
    QCOMPARE(app_->mainWindow->member().displayName, composed);
    QCOMPARE(window_->displayNameEdit->text(), composed);
    QCOMPARE(gridColumn(window_->memberGrid, 2), QStringList{composed});
    // The server takes notes only in the member's own name: this one is.
    QVERIFY(NoticePost::post(*app_->mainWindow, "改名以后", app_->mainWindow->member().displayName,
                             "Mareth"));
    window_->close();
    app_->mainWindow->reload();
}

void TestMembers::modeSurvivesClosingAndReopening() {
    logInAndOpen("vqk", "q");
    window_->addMember();
    window_->close();
    QVERIFY(app_->mainWindow->isEnabled());
    app_->mainWindow->openMemberWindow();
    checkMode(MemberWindow::Mode::Add, 263, true);
    QCOMPARE(window_->userNameEdit->text(), "vqk");
    QCOMPARE(window_->passwordEdit->text(), "q");
    QCOMPARE(window_->displayNameEdit->text(), "Quenby");
    QVERIFY(!window_->changeButton->isEnabled());

    // A server gone away: the window cannot fill, the member is told where the
    // server was looked for, the main window stays usable.
    window_->close();
    const int port = fixture_.server().port();
    fixture_.stop();
    app_->mainWindow->openMemberWindow();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text,
             QString("无法连接服务器（127.0.0.1:%1），请检查网络，或请管理员确认服务器正在运行。")
                 .arg(port));
    QVERIFY(app_->mainWindow->isEnabled());
    QVERIFY(!window_->isVisible());
}

QTEST_MAIN(TestMembers)
#include "TestMembers.moc"
