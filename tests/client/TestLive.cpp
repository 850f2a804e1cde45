// What another member does shows at once: a member's lists, notice panel and
// open project window follow another member's work through the server's wait
// for changes, without any action of the member's, the member's place kept,
// and without writing anything in turn.

#include "ClientApp.h"
#include "members/MemberWindow.h"
#include "data/DataAccess.h"
#include "data/records/RecordRows.h"
#include "data/records/RecordSet.h"
#include "data/statements/Statements.h"
#include "notices/NoticeBoard.h"
#include "projects/HistorySheet.h"
#include "projects/ProjectQueryTab.h"
#include "projects/ProjectRules.h"
#include "projects/ProjectWindow.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "shell/MainWindow.h"
#include "support/ShellFixture.h"
#include "tasks/TaskPanel.h"
#include "tasks/TaskWorkflow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>

namespace {

const QList<QStringList> kMembers = {{"tb58", "pw", "Mareth"}, {"kestra", "k", "Kestra"}};
const QDateTime kNow(QDate(2026, 12, 10), QTime(10, 30, 45));
const QString kNowText = "2026-12-10 10:30:45";

int rowOf(QTableView *grid, int column, const QString &text) {
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        if (grid->model()->index(row, column).data().toString().trimmed() == text)
            return row;
    return -1;
}

QString selectedCell(QTableView *grid, int column) {
    const QModelIndex current = grid->currentIndex();
    return current.isValid() ? grid->model()->index(current.row(), column).data().toString()
                             : QString();
}

Task newTask(const QString &content) {
    return Task{"GD1", content, "Mareth", "",      kNowText, "2026-12-20 09:00:00",
                "0",   "",      "",       "Kestra"};
}

int changesLogged(ServerProcess &server) {
    return int(server.log().count("/ExecSQL 200") + server.log().count("/DelSQL 200"));
}

} // namespace

class TestLive : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void listsAndPanelFollow();
    void openProjectWindowFollows();
    void newNoticesForTheMemberAreFound();
    void openedTaskFollows();
    void followsOnAfterOwnPasswordChange();
    void openProjectWindowDropsAGoneProject();

private:
    std::unique_ptr<ClientApp> logIn(const QString &user, const QString &password);
    ShellFixture fixture_;
};

void TestLive::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start(kMembers), qPrintable(fixture_.server().errorText()));
    AppClock::setFixed(kNow);
    for (const char *project : {"GD1", "GD2"})
        QVERIFY(fixture_.exec(
            QString("Insert into Programe values('%1','华东','目标','内容','Mareth','Kestra',"
                    "'2026-12-01 09:00:00','2026-12-30 09:00:00','No','0','')")
                .arg(project)));
    QVERIFY(fixture_.exec("Insert into Task values('GD1','旧任务','Mareth','Kestra','2026-12-01 "
                          "09:00:00','2026-12-20 09:00:00','0','','','Kestra')"));
}

void TestLive::cleanup() {
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

std::unique_ptr<ClientApp> TestLive::logIn(const QString &user, const QString &password) {
    auto app = std::make_unique<ClientApp>();
    if (!ShellFixture::logIn(*app, user, password))
        return nullptr;
    return app;
}

void TestLive::listsAndPanelFollow() {
    auto kestra = logIn("kestra", "k");
    auto mareth = logIn("tb58", "pw");
    QVERIFY(kestra && mareth);
    MainWindow *mainWindow = kestra->mainWindow;
    ShellFixture::actAs(*kestra);
    mainWindow->reload();
    // Kestra's place: the second project and the old task.
    const int project = rowOf(mainWindow->projectGrid, 0, "GD2");
    QVERIFY(project >= 0);
    mainWindow->projectGrid->setCurrentIndex(mainWindow->projectGrid->model()->index(project, 0));
    const int task = rowOf(mainWindow->taskGrid, 1, "旧任务");
    QVERIFY(task >= 0);
    mainWindow->taskGrid->setCurrentIndex(mainWindow->taskGrid->model()->index(task, 1));

    // Mareth dispatches a task for Kestra and says so in a notice.
    ShellFixture::actAs(*mareth);
    QVERIFY(DataAccess::addTask(newTask("新任务")).ok());
    QVERIFY(DataAccess::addNotice({"项目编号:GD1 有新的派发任务", "Mareth", "Kestra", kNowText}).ok());

    // Kestra does nothing; what Kestra sees follows.
    ShellFixture::actAs(*kestra);
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(mainWindow->taskGrid, 1, "新任务") >= 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow->noticePanel->toPlainText().contains("有新的派发任务"),
                             10000);
    QCOMPARE(selectedCell(mainWindow->taskGrid, 1).trimmed(), QString("旧任务"));
    QCOMPARE(selectedCell(mainWindow->projectGrid, 0).trimmed(), QString("GD2"));

    // Kestra claims it; Mareth's list follows in turn.
    ShellFixture::actAs(*kestra);
    Task claimed = newTask("新任务");
    claimed.performer = "Kestra";
    QVERIFY(DataAccess::claimTask(claimed).changedAnyRow());
    ShellFixture::actAs(*mareth);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const int row = rowOf(mareth->mainWindow->taskGrid, 1, "新任务");
            return row >= 0 &&
                   mareth->mainWindow->taskGrid->model()->index(row, 3).data().toString().contains(
                       "Kestra");
        }(),
        10000);
}

void TestLive::openedTaskFollows() {
    QVERIFY(fixture_.exec("Update Task set TaskCompleteFlag='1', TaskList='装好了'"));
    auto kestra = logIn("kestra", "k");
    auto mareth = logIn("tb58", "pw");
    QVERIFY(kestra && mareth);
    // Kestra has the applied task open: redo and agree are offered.
    MainWindow *mainWindow = kestra->mainWindow;
    ShellFixture::actAs(*kestra);
    mainWindow->reload();
    mainWindow->tabs->setCurrentIndex(1);
    mainWindow->taskGrid->setCurrentIndex(mainWindow->taskGrid->model()->index(0, 0));
    mainWindow->taskWorkflow->openCurrentRow();
    QCOMPARE(mainWindow->completeButton->text(), "同意完成(&T)");
    QCOMPARE(mainWindow->applyButton->text(), "重新完成(&C)");
    mainWindow->taskPanel->noteBox->setPlainText("正在写的说明");

    // Mareth, its dispatcher, agrees meanwhile.
    ShellFixture::actAs(*mareth);
    Task applied = newTask("旧任务");
    applied.performer = "Kestra";
    applied.createTime = "2026-12-01 09:00:00";
    const ChangeOutcome agreed = DataAccess::updateTaskState("2", "装好了", applied);
    QVERIFY2(agreed.changedAnyRow(), qPrintable(agreed.ok() ? "no row" : agreed.failure().text()));

    // Kestra's opened task follows: nothing is left to press, the note typed stays.
    ShellFixture::actAs(*kestra);
    QTRY_COMPARE_WITH_TIMEOUT(mainWindow->completeButton->text(), QString("已完成任务"), 10000);
    QVERIFY(!mainWindow->completeButton->isEnabled() && !mainWindow->applyButton->isEnabled());
    QCOMPARE(mainWindow->taskWorkflow->opened.state, "2");
    QCOMPARE(mainWindow->taskPanel->noteBox->toPlainText(), "正在写的说明");
}

void TestLive::openProjectWindowFollows() {
    auto kestra = logIn("kestra", "k");
    auto mareth = logIn("tb58", "pw");
    QVERIFY(kestra && mareth);
    ShellFixture::actAs(*kestra);
    MainWindow *mainWindow = kestra->mainWindow;
    mainWindow->reload();
    mainWindow->projectGrid->setCurrentIndex(
        mainWindow->projectGrid->model()->index(rowOf(mainWindow->projectGrid, 0, "GD1"), 0));
    mainWindow->projectQuery->openCurrentProject();
    ProjectWindow *window = kestra->projectWindow;
    QVERIFY(window->isVisible());

    // Mareth adds a flow node and dispatches a task on the project.
    ShellFixture::actAs(*mareth);
    RecordSet storedRows;
    storedRows.load(DataAccess::selectProject("GD1").rows());
    QCOMPARE(storedRows.recordCount(), 1);
    const std::optional<Project> stored = RecordRows::projectAt(storedRows, 0);
    QVERIFY(DataAccess::updateProject(
        stored->performers, stored->completeFlag, stored->taskCount,
        ProjectRules::withFlowNode(stored->flowNodes, "需求已确认", "Mareth"), *stored).ok());
    QVERIFY(DataAccess::addTask(newTask("新任务")).ok());
    const int changesMade = changesLogged(fixture_.server());

    ShellFixture::actAs(*kestra);
    QTRY_VERIFY_WITH_TIMEOUT(window->flowNodeBox->toPlainText().contains("需求已确认"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(window->taskGrid, 1, "新任务") >= 0, 10000);
    QVERIFY2(mainWindow->statusBar()->currentMessage().contains("GD1"),
             qPrintable(mainWindow->statusBar()->currentMessage()));
    // The history sheet shows both changes, newest first, as the journal keeps them.
    HistorySheet *history = window->historyGrid;
    QTRY_COMPARE_WITH_TIMEOUT(history->rowCount(), 2, 10000);
    const auto cell = [history](int row, int column) { return history->item(row, column)->text(); };
    QCOMPARE(cell(0, HistorySheet::kAction), "派发任务");
    QCOMPARE(cell(0, HistorySheet::kMember), "Mareth");
    QCOMPARE(cell(0, HistorySheet::kRow), "任务：新任务（Mareth）");
    QVERIFY2(cell(0, HistorySheet::kChanges).contains("任务内容：新任务"),
             qPrintable(cell(0, HistorySheet::kChanges)));
    QCOMPARE(cell(1, HistorySheet::kAction), "添加节点");
    QCOMPARE(cell(1, HistorySheet::kRow), "项目");
    QCOMPARE(cell(1, HistorySheet::kChanges), "流程节点：（空） → 需求已确认---Mareth");
    QVERIFY(!cell(1, HistorySheet::kTime).isEmpty());
    QCOMPARE(history->accessibleName(), "项目变更历史");
    // Following wrote nothing: a write would set every window following it going.
    QCOMPARE(changesLogged(fixture_.server()), changesMade);
    window->close();
}

// Another member deletes the project that is open: the window offers nothing
// more on it, and each button says why.
void TestLive::openProjectWindowDropsAGoneProject() {
    auto kestra = logIn("kestra", "k");
    auto mareth = logIn("tb58", "pw");
    QVERIFY(kestra && mareth);
    ShellFixture::actAs(*kestra);
    MainWindow *mainWindow = kestra->mainWindow;
    mainWindow->reload();
    mainWindow->projectGrid->setCurrentIndex(
        mainWindow->projectGrid->model()->index(rowOf(mainWindow->projectGrid, 0, "GD2"), 0));
    mainWindow->projectQuery->openCurrentProject();
    ProjectWindow *window = kestra->projectWindow;
    QVERIFY(window->isVisible());
    QVERIFY(window->addNodeButton->isEnabled());
    // Kestra did not create it: completing or deleting is not offered, and said why.
    QVERIFY(!window->completeButton->isEnabled());
    QCOMPARE(window->completeButton->toolTip(), "只有项目的创建人才能完成或删除该项目。");

    ShellFixture::actAs(*mareth);
    QVERIFY(DataAccess::deleteProject("GD2").changedAnyRow());

    ShellFixture::actAs(*kestra);
    QTRY_VERIFY_WITH_TIMEOUT(!window->addNodeButton->isEnabled(), 10000);
    QCOMPARE(mainWindow->statusBar()->currentMessage(), "项目GD2已被删除。");
    for (const QPushButton *button : {window->addNodeButton, window->completeButton,
                                      window->reeditButton, window->dispatchButton}) {
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->toolTip(), "该项目已被他人删除或修改了项目编号。");
    }
    window->close();
}

void TestLive::newNoticesForTheMemberAreFound() {
    auto kestra = logIn("kestra", "k");
    QVERIFY(kestra);
    AppServerGateway &gateway = *kestra->mainWindow->gateway;
    const QString panel = Statements::noticePanel(kNow);
    QVERIFY(DataAccess::addNotice({"旧通告", "Kestra", "Kestra", kNowText}).ok());
    const PDataPacket before = gateway.openSql(panel);
    QVERIFY(DataAccess::addNotice({"给别人的", "Kestra", "Mareth", kNowText}).ok());
    QVERIFY(DataAccess::addNotice({"给Kestra的", "Kestra", "Mareth|Kestra", kNowText}).ok());
    const PDataPacket now = gateway.openSql(panel);
    QCOMPARE(NoticeBoard::newNoticesFor(now, before, "Kestra"), QStringList{"给Kestra的"});
    QCOMPARE(NoticeBoard::newNoticesFor(now, now, "Kestra"), QStringList());
}

// The member changes the own password: the watch for changes goes on under
// the new one, and another member's work still shows at once.
void TestLive::followsOnAfterOwnPasswordChange() {
    auto kestra = logIn("kestra", "k");
    auto mareth = logIn("tb58", "pw");
    QVERIFY(kestra && mareth);
    MainWindow *mainWindow = kestra->mainWindow;
    ShellFixture::actAs(*kestra);
    mainWindow->reload();
    mainWindow->openMemberWindow();
    MemberWindow *members = kestra->memberWindow;
    members->changeOwnLogin();
    members->passwordEdit->setText("k2");
    members->changeOwnLogin();
    QCOMPARE(Dialogs::takeShown().size(), 0);
    members->close();
    QCOMPARE(mainWindow->member().password, "k2");

    ShellFixture::actAs(*mareth);
    QVERIFY(DataAccess::addNotice({"改密码以后的通知", "Mareth", "Kestra", kNowText}).ok());
    ShellFixture::actAs(*kestra);
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow->noticePanel->toPlainText().contains("改密码以后的通知"),
                             10000);
}

QTEST_MAIN(TestLive)
#include "TestLive.moc"
