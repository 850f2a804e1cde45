// The shell against a real server: login, the main window's lists and child
// windows, the notice panel and the reminder.

#include "ClientApp.h"
#include "data/DataAccess.h"
#include "data/records/RecordSet.h"
#include "members/MemberWindow.h"
#include "notices/NoticeBoard.h"
#include "projects/NewProjectWindow.h"
#include "seams/AppClock.h"
#include "seams/ChildWindow.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "support/ShellFixture.h"
#include "timer/IntervalTimer.h"

#include <QAccessible>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QWindow>
#include <QtTest>

namespace {

const QList<QStringList> kMembers = {{"tb58", "pw", "Mareth"}, {"kestra", "k", "Kestra"}};

QString project(const QString &id, const QString &demander, const QString &performers,
                const QString &flag) {
    return QString("Insert into Programe values('%1','来源','目标','内容','%2','%3',"
                   "'2026-12-01 09:00:00','2026-12-20 09:00:00','%4','0','')")
        .arg(id, demander, performers, flag);
}

QString task(const QString &content, const QString &performer, const QString &flag) {
    return QString("Insert into Task values('GD20261201001','%1','Mareth','%2',"
                   "'2026-12-01 09:00:00','2026-12-20 09:00:00','%3','','','')")
        .arg(content, performer, flag);
}

QString notice(const QString &content, const QString &performer, const QString &time) {
    return QString("Insert into Notice values('%1','Mareth','%2','%3')")
        .arg(content, performer, time);
}

// The panel's lines with whether each is red; a paragraph of the panel may
// hold several lines.
QList<QPair<QString, bool>> panelLines(QTextEdit *panel) {
    QList<QPair<QString, bool>> lines;
    QTextCursor cursor(panel->document());
    for (QTextBlock block = panel->document()->begin(); block.isValid(); block = block.next()) {
        int offset = 0;
        for (const QString &line : block.text().split(QChar::LineSeparator)) {
            if (!line.isEmpty()) {
                cursor.setPosition(block.position() + offset + 1);
                const QColor colour = cursor.charFormat().foreground().color();
                lines.append({line, colour == QColor(255, 0, 0)});
            }
            offset += line.size() + 1;
        }
    }
    return lines;
}

// The child windows of the shell under test, whoever created them.
QList<ChildWindow *> childWindows() {
    QList<ChildWindow *> children;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *child = qobject_cast<ChildWindow *>(window))
            children << child;
    return children;
}

class ThrowingWindow : public ChildWindow {
public:
    ThrowingWindow() : ChildWindow("failing", 100, 100) {}
    // A refill whose query the server refused.
    void refill() override {
        rowsOf(QueryResult(Failure{Failure::Kind::Refused, "busy", "busy", ""}));
    }
};

} // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void loginRefusals_data();
    void loginRefusals();
    void successfulLoginIsRememberedAndEnterLogsInAgain();
    void refusedConnectionCanBeRetriedOnTheOtherAddress();
    void escapeQuitsWhereverTheFocusIs();
    void loginFocusStartsOnTheFirstEmptyField_data();
    void loginFocusStartsOnTheFirstEmptyField();
    void wrongPasswordIsSelectedForRetyping();
    void systemSettingsFillWhatTheMembersFileLacks();
    void refreshKeepsTheRowAndTheScrollPosition();
    void reloadCreatesOnceAndReloads();
    void completionNoteLabelShowsTwoLines();
    void oneShellGoingLeavesTheOtherConnected_data();
    void oneShellGoingLeavesTheOtherConnected();
    void childWindowsDisableAndEnableTheMainWindow();
    void childWindowsStayInFrontOfTheMainWindow();
    void screenReadersHearEachWindowsCaption();
    void failedChildRefillLeavesTheMainWindowUsable();
    void noticePanel();
    void noNameConcernsNoNotice();
    void noticePanelOfManyLines();
    void newerNoticesGoInAboveTheShownOnes_data();
    void newerNoticesGoInAboveTheShownOnes();
    void reminderTickCountsTheMembersOpenWork_data();
    void reminderTickCountsTheMembersOpenWork();

private:
    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
    void logInAs(const QString &user, const QString &password);
};

void TestShell::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start(kMembers), qPrintable(fixture_.server().errorText()));
    LoginSettings::setSystemPath(QString()); // this machine's own settings play no part
    app_ = std::make_unique<ClientApp>();
}

void TestShell::cleanup() {
    app_.reset();
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestShell::logInAs(const QString &user, const QString &password) {
    QVERIFY(ShellFixture::logIn(*app_, user, password));
}

void TestShell::loginRefusals_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << ""
                           << ""
                           << "请输入用户级及密码！";
    QTest::newRow("blanks only") << "   "
                                 << "pw"
                                 << "请输入用户级及密码！";
    QTest::newRow("no password") << "tb58"
                                 << " \t"
                                 << "请输入用户级及密码！";
    QTest::newRow("wrong password") << "tb58"
                                    << "nope"
                                    << "登录用户名/密码错误，请重新输入";
    QTest::newRow("password in other letter case") << "TB58"
                                                   << "PW"
                                                   << "登录用户名/密码错误，请重新输入";
    QTest::newRow("unknown member") << "ghost"
                                    << "pw"
                                    << "登录用户名/密码错误，请重新输入";
}

void TestShell::loginRefusals() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    app_->loginWindow->userNameEdit->setText(user);
    app_->loginWindow->passwordEdit->setText(password);
    app_->loginWindow->logIn();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, message);
    QCOMPARE(shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!app_->mainWindow->hasMember());
    QVERIFY(!QFile::exists(fixture_.settingsPath()) ||
            QSettings(fixture_.settingsPath(), QSettings::IniFormat)
                .value("DataBase/LoginUseName")
                .isNull());
    // The first refill opened the connection but listed nothing for nobody.
    QVERIFY(app_->mainWindow->gateway);
    QCOMPARE(app_->mainWindow->projectRecords->recordCount(), 0);
}

void TestShell::successfulLoginIsRememberedAndEnterLogsInAgain() {
    logInAs("  tb58 ", " pw\t");
    QCOMPARE(app_->mainWindow->currentMember.userName, "tb58");
    QCOMPARE(app_->mainWindow->currentMember.password, "pw");
    QCOMPARE(app_->mainWindow->currentMember.displayName, "Mareth");
    QVERIFY(app_->mainWindow->reminderTimer->isEnabled());
    QSettings ini(fixture_.settingsPath(), QSettings::IniFormat);
    QCOMPARE(ini.value("DataBase/LoginUseName").toString(), "tb58");
    QCOMPARE(ini.value("DataBase/LoginPassWord").toString(), "pw");

    // The next start fills the boxes in, and Enter logs in wherever the focus is.
    app_ = std::make_unique<ClientApp>();
    QCOMPARE(app_->loginWindow->userNameEdit->text(), "tb58");
    QCOMPARE(app_->loginWindow->passwordEdit->text(), "pw");
    QTest::keyClick(app_->loginWindow->internetButton, Qt::Key_Return);
    QCOMPARE(app_->loginWindow->result(), int(QDialog::Accepted));
    QCOMPARE(app_->mainWindow->currentMember.displayName, "Mareth");
}

void TestShell::refusedConnectionCanBeRetriedOnTheOtherAddress() {
    // Nothing listens on 127.0.0.2: the server is bound to 127.0.0.1 only.
    fixture_.pointSettingsAt("127.0.0.2", "127.0.0.1");
    app_->loginWindow->userNameEdit->setText("kestra");
    app_->loginWindow->passwordEdit->setText("k");
    app_->loginWindow->logIn();
    auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].icon, QMessageBox::Critical);
    QVERIFY2(shown[0].text.contains("127.0.0.2"), qPrintable(shown[0].text));
    QVERIFY(!app_->mainWindow->hasMember());
    QVERIFY(!QSettings(fixture_.settingsPath(), QSettings::IniFormat)
                 .contains("DataBase/LoginUseName"));

    app_->loginWindow->internetButton->setChecked(true);
    app_->loginWindow->passwordEdit->setText("wrong");
    app_->loginWindow->logIn();
    QCOMPARE(Dialogs::takeShown().size(), 1);
    // Open now: going back to "内网" changes nothing for the rest of the run.
    app_->loginWindow->internalNetworkButton->setChecked(true);
    app_->loginWindow->passwordEdit->setText("k");
    app_->loginWindow->logIn();
    QCOMPARE(app_->loginWindow->result(), int(QDialog::Accepted));
    QCOMPARE(app_->mainWindow->connection.hostName(), "127.0.0.1");
    QCOMPARE(app_->mainWindow->currentMember.displayName, "Kestra");
}

void TestShell::escapeQuitsWhereverTheFocusIs() {
    QTest::keyClick(app_->loginWindow->userNameEdit, Qt::Key_Escape);
    QVERIFY(app_->loginWindow->quitChosen());
    QCOMPARE(app_->loginWindow->result(), int(QDialog::Rejected));
    QVERIFY(!app_->mainWindow->hasMember());
    QVERIFY(!app_->mainWindow->gateway); // nothing was opened
}

void TestShell::loginFocusStartsOnTheFirstEmptyField_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("focused");
    QTest::newRow("nothing remembered") << ""
                                        << ""
                                        << "user";
    QTest::newRow("the name remembered") << "tb58"
                                         << ""
                                         << "password";
    QTest::newRow("both remembered: Enter logs in") << "tb58"
                                                    << "pw"
                                                    << "login";
}

void TestShell::loginFocusStartsOnTheFirstEmptyField() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, focused);
    QSettings ini(fixture_.settingsPath(), QSettings::IniFormat);
    ini.setValue("DataBase/LoginUseName", user);
    ini.setValue("DataBase/LoginPassWord", password);
    ini.sync();
    app_ = std::make_unique<ClientApp>();
    LoginWindow *login = app_->loginWindow;
    const QMap<QString, QWidget *> widgets = {{"user", login->userNameEdit},
                                              {"password", login->passwordEdit},
                                              {"login", login->loginButton}};
    QCOMPARE(login->focusWidget(), widgets.value(focused));
}

void TestShell::wrongPasswordIsSelectedForRetyping() {
    app_->loginWindow->userNameEdit->setText("tb58");
    app_->loginWindow->passwordEdit->setText("wrong");
    app_->loginWindow->logIn();
    QCOMPARE(Dialogs::takeShown().size(), 1);
    QCOMPARE(app_->loginWindow->focusWidget(), app_->loginWindow->passwordEdit);
    QCOMPARE(app_->loginWindow->passwordEdit->selectedText(), "wrong");
}

void TestShell::systemSettingsFillWhatTheMembersFileLacks() {
    // The administrator's file names the server; the member's has only the login.
    QTemporaryDir system;
    const QString systemFile = system.filePath("Server.ini");
    {
        QSettings admin(systemFile, QSettings::IniFormat);
        admin.setValue("Server/InternalHost", "127.0.0.1");
        admin.setValue("Server/InternetHost", "192.0.2.9");
        admin.setValue("Server/Port", fixture_.server().port());
    }
    QFile::remove(fixture_.settingsPath());
    LoginSettings::setSystemPath(systemFile);
    QCOMPARE(LoginSettings::internetHost(), "192.0.2.9");
    logInAs("tb58", "pw");
    QCOMPARE(app_->mainWindow->connection.port(), fixture_.server().port());
    // What the member's own file says wins.
    QSettings own(fixture_.settingsPath(), QSettings::IniFormat);
    QVERIFY(own.contains("DataBase/LoginUseName") && !own.contains("Server/Port"));
    own.setValue("Server/InternetHost", "198.51.100.4");
    own.sync();
    QCOMPARE(LoginSettings::internetHost(), "198.51.100.4");
    QCOMPARE(LoginSettings::port(), fixture_.server().port());
    LoginSettings::setSystemPath(QString());
    QCOMPARE(LoginSettings::port(), 10003);
}

// What another member changed shows on F5; the member's row and scroll
// position stay where they were, in both lists.
void TestShell::refreshKeepsTheRowAndTheScrollPosition() {
    for (int i = 10; i < 70; ++i) {
        QVERIFY(fixture_.exec(QString("Insert into Programe values('GD202612010%1','来源','目标',"
                                      "'内容','Mareth','Kestra','2026-12-01 09:%1:00',"
                                      "'2026-12-20 09:00:00','No','0','')")
                                  .arg(i)));
        QVERIFY(fixture_.exec(task(QString("任务%1").arg(i), "", "0")));
    }
    logInAs("tb58", "pw");
    MainWindow *main = app_->mainWindow;
    main->resize(MainWindow::kWidth, MainWindow::kHeight);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QTableView *projects = main->projectGrid;
    projects->selectRow(40);
    const QString chosen = projects->model()->index(40, 0).data().toString();
    projects->verticalScrollBar()->setValue(30);
    main->tabs->setCurrentIndex(1);
    QTableView *tasks = main->taskGrid;
    QVERIFY(QTest::qWaitForWindowExposed(tasks));
    tasks->selectRow(50);
    const QString chosenTask = tasks->model()->index(50, 1).data().toString();
    tasks->verticalScrollBar()->setValue(45);

    // Newer work of another member comes in above the chosen rows.
    QVERIFY(fixture_.exec(project("GD20261202001", "Mareth", "Kestra", "No")
                              .replace("2026-12-01 09:00:00", "2026-12-02 09:00:00")));
    QVERIFY(fixture_.exec(task("新任务", "", "0")));
    QTest::keyClick(main, Qt::Key_F5);
    QCOMPARE(projects->model()->rowCount(), 61);
    QCOMPARE(projects->model()->index(projects->currentIndex().row(), 0).data().toString(), chosen);
    QVERIFY(projects->selectionModel()->isRowSelected(projects->currentIndex().row(), {}));
    QCOMPARE(projects->verticalScrollBar()->value(), 30);
    QCOMPARE(tasks->model()->rowCount(), 61);
    QCOMPARE(tasks->model()->index(tasks->currentIndex().row(), 1).data().toString(), chosenTask);
    QCOMPARE(tasks->verticalScrollBar()->value(), 45);
    main->hide();
}

void TestShell::reloadCreatesOnceAndReloads() {
    logInAs("tb58", "pw");
    MainWindow *main = app_->mainWindow;
    auto *gateway = main->gateway.get();
    auto *timer = main->reminderTimer;
    QCOMPARE(main->projectRecords->recordCount(), 0);
    QVERIFY(fixture_.exec(project("GD20261201001", "Mareth", "Kestra", "No")));
    QVERIFY(fixture_.exec(task("t1", "", "0")));
    main->reeditButton->setEnabled(true);
    main->reload();
    QCOMPARE(main->gateway.get(), gateway);
    QCOMPARE(main->reminderTimer, timer);
    QCOMPARE(main->reminderTimer->interval(), 100000);
    QCOMPARE(main->projectRecords->recordCount(), 1);
    QCOMPARE(main->taskRecords->recordCount(), 1);
    QCOMPARE(main->projectGrid->model()->rowCount(), 1);
    QCOMPARE(main->projectGrid->model()->headerData(0, Qt::Horizontal).toString(), "立项编号");
    QVERIFY(!main->reeditButton->isEnabled());
}

void TestShell::completionNoteLabelShowsTwoLines() {
    QLabel *note = app_->mainWindow->completionNoteLabel;
    QCOMPARE(note->text().split(QRegularExpression("\\r\\n?|\\n")),
             (QStringList{"任务完成", "情况说明:"}));
    const int lineHeight = note->fontMetrics().lineSpacing();
    QVERIFY2(note->sizeHint().height() >= 2 * lineHeight, qPrintable(note->text()));
    app_->mainWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(app_->mainWindow));
    QVERIFY(note->height() >= 2 * lineHeight);
    app_->mainWindow->hide();
}

void TestShell::oneShellGoingLeavesTheOtherConnected_data() {
    QTest::addColumn<bool>("laterGoesFirst");
    QTest::newRow("the later shell goes first") << true;
    QTest::newRow("the earlier shell goes first") << false;
}

void TestShell::oneShellGoingLeavesTheOtherConnected() {
    QFETCH(bool, laterGoesFirst);
    logInAs("tb58", "pw");
    auto later = std::make_unique<ClientApp>();
    QVERIFY(ShellFixture::logIn(*later, "kestra", "k"));
    ClientApp &staying = laterGoesFirst ? *app_ : *later;
    (laterGoesFirst ? later : app_).reset();
    QCOMPARE(DataAccess::gateway(), staying.mainWindow->gateway.get());
    QVERIFY(fixture_.exec(project("GD20261201001", "Mareth", "Kestra", "No")));
    staying.mainWindow->reload();
    QCOMPARE(staying.mainWindow->projectRecords->recordCount(), 1);
}

void TestShell::childWindowsDisableAndEnableTheMainWindow() {
    logInAs("tb58", "pw");
    MainWindow *main = app_->mainWindow;
    main->openMemberWindow();
    QVERIFY(!main->isEnabled());
    QVERIFY(app_->memberWindow->isVisible());
    QVERIFY(app_->memberWindow->isEnabled());
    app_->memberWindow->close();
    QVERIFY(!app_->memberWindow->isVisible());
    QVERIFY(main->isEnabled());
    main->openNewProjectWindow();
    QVERIFY(!main->isEnabled());
    app_->newProjectWindow->close();
    QVERIFY(main->isEnabled());
    main->close();
}

void TestShell::childWindowsStayInFrontOfTheMainWindow() {
    logInAs("tb58", "pw");
    MainWindow *main = app_->mainWindow;
    const QList<ChildWindow *> children = childWindows();
    QVERIFY(children.size() >= 4);
    for (ChildWindow *child : children) {
        // A window of its own, so that disabling the main window leaves it usable...
        QVERIFY(child->isWindow() && !child->parentWidget());
        // ...which the window system keeps above the main window.
        QVERIFY(child->windowHandle());
        QCOMPARE(child->windowHandle()->transientParent(), main->windowHandle());
    }
    main->show();
    main->openMemberWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app_->memberWindow));
    QCOMPARE(app_->memberWindow->windowHandle()->transientParent(), main->windowHandle());
    QVERIFY(!main->isEnabled() && app_->memberWindow->isEnabled());
    app_->memberWindow->close();
    main->hide();
}

void TestShell::screenReadersHearEachWindowsCaption() {
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->windowType() == Qt::Popup)
            continue; // a drop-down list, announced as a list by its box
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(window);
        QVERIFY(reader);
        QVERIFY2(reader->role() == QAccessible::Window || reader->role() == QAccessible::Dialog,
                 window->metaObject()->className());
        QCOMPARE(reader->text(QAccessible::Name), window->windowTitle());
    }
    for (ChildWindow *child : childWindows())
        QVERIFY(!child->windowTitle().isEmpty());

    // A screen reader announces the window that becomes active with its role and name.
    logInAs("tb58", "pw");
    app_->mainWindow->show();
    app_->mainWindow->openMemberWindow();
    QVERIFY(QTest::qWaitForWindowActive(app_->memberWindow));
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(app_->memberWindow);
    QCOMPARE(reader->role(), QAccessible::Window);
    QCOMPARE(reader->text(QAccessible::Name), "平台成员管理");
    app_->memberWindow->close();
    app_->mainWindow->hide();
}

void TestShell::failedChildRefillLeavesTheMainWindowUsable() {
    logInAs("tb58", "pw");
    ThrowingWindow failing;
    app_->mainWindow->setMenuWindows(&failing, &failing);
    app_->mainWindow->openNewProjectWindow();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, Failure({Failure::Kind::Refused, "busy", "busy", ""}).text());
    QVERIFY(app_->mainWindow->isEnabled());
    QVERIFY(!failing.isVisible());
}

void TestShell::noticePanel() {
    AppClock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    QVERIFY(fixture_.exec(notice("项目编号:GD1 最早", "Kestra", "2026-11-24 23:59:59")));
    QVERIFY(fixture_.exec(notice("项目编号:GD1 边界", "Kestra|Mareth", "2026-11-25 00:00:00")));
    QVERIFY(fixture_.exec(notice("项目编号:GD1 无人", "", "2026-12-01 08:00:00")));
    QVERIFY(fixture_.exec(notice("项目编号:GD1 最新", "Mareth", "2026-12-10 09:00:00")));
    // Letter case counts; a longer name holding the member's counts as the member's.
    QVERIFY(fixture_.exec(notice("项目编号:GD1 小写", "mareth", "2026-12-05 08:00:00")));
    QVERIFY(fixture_.exec(notice("项目编号:GD1 更长", "Kestra|Marethan", "2026-12-03 08:00:00")));
    logInAs("tb58", "pw");
    const QList<QPair<QString, bool>> expected = {
        {"通告内容:项目编号:GD1 最新/   关联人:Mareth--通告时间:2026-12-10 09:00:00", true},
        {"通告内容:项目编号:GD1 小写/   关联人:mareth--通告时间:2026-12-05 08:00:00", false},
        {"通告内容:项目编号:GD1 更长/   关联人:Kestra|Marethan--通告时间:2026-12-03 08:00:00",
         true},
        {"通告内容:项目编号:GD1 无人/   关联人:--通告时间:2026-12-01 08:00:00", false},
        {"通告内容:项目编号:GD1 边界/   关联人:Kestra|Mareth--通告时间:2026-11-25 00:00:00", true},
    };
    QCOMPARE(panelLines(app_->mainWindow->noticePanel), expected);

    // Nothing new: the panel is not laid out again; a new notice is shown.
    QTextDocument *panel = app_->mainWindow->noticePanel->document();
    const int revision = panel->revision();
    app_->mainWindow->refreshNotices();
    QCOMPARE(panel->revision(), revision);
    QVERIFY(fixture_.exec(notice("项目编号:GD1 刚到", "Mareth", "2026-12-10 09:30:00")));
    app_->mainWindow->refreshNotices();
    QVERIFY(panel->revision() != revision);
    QCOMPARE(panelLines(app_->mainWindow->noticePanel).first().first,
             "通告内容:项目编号:GD1 刚到/   关联人:Mareth--通告时间:2026-12-10 09:30:00");
    QCOMPARE(panelLines(app_->mainWindow->noticePanel).mid(1), expected);

    // Fifteen days on nothing is recent: the panel keeps what it showed.
    const auto shown = panelLines(app_->mainWindow->noticePanel);
    AppClock::setFixed(QDateTime(QDate(2027, 1, 30), QTime(10, 0)));
    app_->mainWindow->refreshNotices();
    QCOMPARE(panelLines(app_->mainWindow->noticePanel), shown);
}

void TestShell::noNameConcernsNoNotice() {
    // A member stored without a display name: no notice is the member's.
    AppClock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    QVERIFY(fixture_.exec("Insert into Login values('nemo','n','')"));
    QVERIFY(fixture_.exec(notice("项目编号:GD1 给别人", "Kestra", "2026-12-09 09:00:00")));
    QVERIFY(fixture_.exec(notice("项目编号:GD1 无人", "", "2026-12-09 08:00:00")));
    logInAs("nemo", "n");
    const QList<QPair<QString, bool>> expected = {
        {"通告内容:项目编号:GD1 给别人/   关联人:Kestra--通告时间:2026-12-09 09:00:00", false},
        {"通告内容:项目编号:GD1 无人/   关联人:--通告时间:2026-12-09 08:00:00", false},
    };
    QCOMPARE(panelLines(app_->mainWindow->noticePanel), expected);
    // A newer notice goes in above the shown ones, no more red than they.
    QVERIFY(fixture_.exec(notice("项目编号:GD1 刚到", "Kestra", "2026-12-10 09:30:00")));
    app_->mainWindow->refreshNotices();
    QCOMPARE(panelLines(app_->mainWindow->noticePanel).first(),
             qMakePair(QString("通告内容:项目编号:GD1 刚到/   关联人:Kestra--通告时间:"
                               "2026-12-10 09:30:00"),
                       false));
    QCOMPARE(panelLines(app_->mainWindow->noticePanel).mid(1), expected);
}

void TestShell::noticePanelOfManyLines() {
    // More notices than one paragraph of the panel holds: every line is still
    // its own line, coloured on its own, and copies out as one line.
    AppClock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    QList<QPair<QString, bool>> expected;
    for (int i = 99; i >= 0; --i) {
        const QString time =
            QDateTime(QDate(2026, 12, 9), QTime(0, 0)).addSecs(i).toString("yyyy-MM-dd hh:mm:ss");
        const QString who = i % 3 == 0 ? "Mareth" : "Kestra";
        QVERIFY(fixture_.exec(notice(QString("项目编号:GD%1 第%1条").arg(i), who, time)));
        expected.append({QString("通告内容:项目编号:GD%1 第%1条/   关联人:%2--通告时间:%3")
                             .arg(i)
                             .arg(who, time),
                         i % 3 == 0});
    }
    logInAs("tb58", "pw");
    QCOMPARE(panelLines(app_->mainWindow->noticePanel), expected);
    QStringList copied;
    for (const auto &line : expected)
        copied << line.first;
    QCOMPARE(app_->mainWindow->noticePanel->toPlainText(), copied.join('\n'));

    // The panel opens on its newest notices, at the top.
    QTextEdit *panel = app_->mainWindow->noticePanel;
    app_->mainWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(app_->mainWindow));
    QVERIFY(panel->verticalScrollBar()->maximum() > 0);
    QCOMPARE(panel->verticalScrollBar()->value(), 0);

    // A member who scrolled down sees the newest notice on top after a refresh.
    panel->verticalScrollBar()->setValue(panel->verticalScrollBar()->maximum());
    QVERIFY(panel->verticalScrollBar()->value() > 0);
    QVERIFY(fixture_.exec(notice("项目编号:GD100 最新", "Mareth", "2026-12-09 12:00:00")));
    app_->mainWindow->refreshNotices();
    QCOMPARE(panelLines(panel).size(), expected.size() + 1);
    QCOMPARE(panelLines(panel).first(),
             qMakePair(QString("通告内容:项目编号:GD100 最新/   关联人:Mareth--通告时间:"
                               "2026-12-09 12:00:00"),
                       true));
    QCOMPARE(panelLines(panel).mid(1), expected);
    QCOMPARE(panel->verticalScrollBar()->value(), 0);
    app_->mainWindow->hide();
}

namespace {

// Notices as the panel's statement answers them, newest first.
PDataPacket noticePacket(const QStringList &contents, const QStringList &performers) {
    auto packet = std::make_shared<DataPacket>();
    packet->columns = {"Content", "Demander", "Performer", "CreateTime"};
    for (int i = 0; i < contents.size(); ++i)
        packet->cells.insert(packet->cells.end(), {contents[i], "Kestra", performers[i],
                                                   "2026-12-10 " + contents[i].right(8)});
    return packet;
}

} // namespace

void TestShell::newerNoticesGoInAboveTheShownOnes_data() {
    QTest::addColumn<int>("newer");      // notices put on top of the shown ones
    QTest::addColumn<QString>("change"); // what else happens to the shown ones
    QTest::addColumn<bool>("added");

    QTest::newRow("one newer") << 1 << "" << true;
    QTest::newRow("three newer") << 3 << "" << true;
    QTest::newRow("a paragraph's worth") << 32 << "" << true;
    QTest::newRow("too many newer: filled afresh") << 500 << "" << false;
    QTest::newRow("nothing newer, one changed") << 0 << "change" << false;
    QTest::newRow("one newer, one changed") << 1 << "change" << false;
    QTest::newRow("one newer, the oldest gone") << 1 << "drop" << false;
}

void TestShell::newerNoticesGoInAboveTheShownOnes() {
    // The panel after the newer lines went in reads exactly as a panel
    // filled with all the notices, line by line and colour by colour.
    QFETCH(int, newer);
    QFETCH(QString, change);
    QFETCH(bool, added);
    QStringList contents, performers;
    for (int i = 0; i < 70; ++i) {
        contents << QString("项目编号:GD%1 旧 07:%2:00").arg(i).arg(59 - i % 60, 2, 10, QChar('0'));
        performers << (i % 4 ? "Kestra" : "Kestra|Mareth");
    }
    const PDataPacket shown = noticePacket(contents, performers);
    for (int i = 0; i < newer; ++i) {
        contents.prepend(
            QString("项目编号:NEW%1 新 %2:00:00").arg(i).arg(8 + i % 10, 2, 10, QChar('0')));
        performers.prepend(i % 2 ? "Mareth" : "");
    }
    if (change == "change")
        contents[newer + 5] += "!";
    if (change == "drop") {
        contents.removeLast();
        performers.removeLast();
    }
    const PDataPacket notices = noticePacket(contents, performers);

    QTextEdit panel, filled;
    RecordSet records;
    records.load(shown);
    NoticeBoard::fillPanel(panel.document(), records, "Mareth");
    const QString before = panel.toPlainText();
    QCOMPARE(NoticeBoard::addNewerLines(panel.document(), *notices, *shown, "Mareth"), added);
    records.load(notices);
    NoticeBoard::fillPanel(filled.document(), records, "Mareth");
    if (added) {
        QCOMPARE(panelLines(&panel), panelLines(&filled));
        QCOMPARE(panel.toPlainText(), filled.toPlainText());
    } else {
        QCOMPARE(panel.toPlainText(), before);
    }
}

void TestShell::reminderTickCountsTheMembersOpenWork_data() {
    QTest::addColumn<bool>("taskCountFails");
    QTest::addColumn<QString>("title");
    QTest::newRow("both counts answered")
        << false << "Solvane项目/任务管理平台  你共有2个项目3个任务未完成！";
    // The title stays as far as it got, and the panel is refreshed all the same.
    QTest::newRow("the task count fails") << true << "Solvane项目/任务管理平台  你共有2个项目";
}

void TestShell::reminderTickCountsTheMembersOpenWork() {
    QFETCH(bool, taskCountFails);
    QFETCH(QString, title);
    AppClock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    for (const QString &sql :
         {project("GD20261201001", "Kestra", "Kestra|Mareth", "No"),
          project("GD20261201002", "Kestra", "Mareth", "No"),
          project("GD20261201003", "Kestra", "Mareth", "Yes"),
          project("GD20261201004", "Mareth", "Kestra", "No"), // only created
          task("a", "Mareth", "0"), task("b", "Mareth", "1"), task("c", "Mareth", "0"),
          task("d", "Mareth", "2"), task("e", "", "0")})
        QVERIFY(fixture_.exec(sql));
    logInAs("tb58", "pw");
    MainWindow *main = app_->mainWindow;
    QCOMPARE(main->windowTitle(), "Solvane项目管理平台");
    // Written after the login: only the tick's refresh of the panel shows it.
    QVERIFY(fixture_.exec(notice("项目编号:GD1 提醒", "Mareth", "2026-12-10 09:30:00")));
    if (taskCountFails) // the project count and the panel's query still answer
        QVERIFY(fixture_.server().execOnDatabaseFile("ALTER TABLE Task RENAME TO TaskAway"));

    // A real tick, now rather than in 100 seconds: it runs what reload() wired.
    IntervalTimer *timer = main->reminderTimer;
    QCOMPARE(timer->interval(), MainWindow::kReminderIntervalMs);
    timer->setEnabled(false);
    timer->setInterval(1);
    timer->setEnabled(true);
    QTRY_VERIFY(!panelLines(main->noticePanel).isEmpty() &&
                panelLines(main->noticePanel).first().first.contains("提醒"));
    timer->setEnabled(false);
    QCOMPARE(main->windowTitle(), title);
    QCOMPARE(timer->failedTicks() > 0, taskCountFails);
}

QTEST_MAIN(TestShell)
#include "TestShell.moc"
