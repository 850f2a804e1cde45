// The task workflow against a real server: dispatch from the chart, read
// receipts, claim, apply, reject, agree and re-edit, from the main window and
// from the project window, with two members at work.

#include "ClientApp.h"
#include "data/DataAccess.h"
#include "projects/ProgressSheet.h"
#include "projects/ProjectQueryTab.h"
#include "projects/ProjectWindow.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "shell/MainWindow.h"
#include "support/CuttingProxy.h"
#include "support/ShellFixture.h"
#include "tasks/FlowChart.h"
#include "tasks/TaskDispatchWindow.h"
#include "tasks/TaskGrid.h"
#include "tasks/TaskPanel.h"
#include "tasks/TaskWorkflow.h"
#include "widgets/NamePicker.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>

namespace {

const QList<QStringList> kMembers = {
    {"tb58", "pw", "Mareth"}, {"kestra", "k", "Kestra"}, {"halvic", "h", "Halvic"}};
const QDateTime kNow(QDate(2026, 12, 10), QTime(10, 30, 45));
const QString kNowText = "2026-12-10 10:30:45";

QString task(const QString &content, const QString &performer, const QString &state,
             const QString &related, const QString &due = "2026-12-20 09:00:00",
             const QString &readTime = "") {
    return QString("Insert into Task values('GD1','%1','Mareth','%2','2026-12-01 09:00:00','%3',"
                   "'%4','','%5','%6')")
        .arg(content, performer, due, state, readTime, related);
}

int rowOf(QTableView *grid, const QString &content) {
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        if (grid->model()->index(row, 1).data().toString() == content)
            return row;
    return -1;
}

} // namespace

class TestTasks : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void dispatchFromTheChart();
    void dispatchWindowRefusalsAndPicker();
    void aLostAnswerIsReadBack_data();
    void aLostAnswerIsReadBack();
    void wholeFlowWithTwoMembers();
    void theTwoPlacesDiffer_data();
    void theTwoPlacesDiffer();
    void secondClaimLearnsTheTaskIsTaken();
    void failedActionsSayWhatHappened();
    void anyMemberAgrees();
    void refusedTaskActionTellsTheReasonInChinese();
    void actionOnATaskGoneMeanwhileIsSaid_data();
    void actionOnATaskGoneMeanwhileIsSaid();
    void aLostTaskActionIsReadBack_data();
    void aLostTaskActionIsReadBack();
    void updateKeepsTheTaskAndTheCount();
    void refusedUpdatePutsTheOldTaskBack();
    void unreadableDatesAreSaid();
    void buttonsFollowTheStateAfterAnAction_data();
    void buttonsFollowTheStateAfterAnAction();
    void rejectionByAnotherMemberDoesNothing();
    void dispatchLeavesTheOpenedTaskAlone();
    void reeditWaitsForATaskOfTheShownProject();
    void taskEditorKeepsTheTaskItEdits();
    void dispatchingTheSameTaskTwiceStoresItOnce();
    void storedDispatchWhoseRefreshFailedSaysSo();
    void taskGridColumnWidths();

private:
    std::unique_ptr<ClientApp> logIn(const QString &user, const QString &password);
    void openRow(ClientApp &app, const QString &content);
    void openProject(ClientApp &app, const QString &id = "GD1");
    // Opens the task in the main window's task tab or the project window's sheet.
    void openTask(ClientApp &app, bool inMain, const QString &content);
    QStringList db(const QString &sql) { return fixture_.server().queryDatabaseFile(sql); }
    QList<Dialogs::Shown> shown() { return Dialogs::takeShown(); }

    ShellFixture fixture_;
};

void TestTasks::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start(kMembers), qPrintable(fixture_.server().errorText()));
    AppClock::setFixed(kNow);
    QVERIFY(
        fixture_.exec("Insert into Programe values('GD1','华东','目标','内容','Mareth','Kestra',"
                      "'2026-12-01 09:00:00','2026-12-30 09:00:00','No','0','')"));
}

void TestTasks::cleanup() {
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

std::unique_ptr<ClientApp> TestTasks::logIn(const QString &user, const QString &password) {
    auto app = std::make_unique<ClientApp>();
    if (!ShellFixture::logIn(*app, user, password))
        return nullptr;
    return app;
}

void TestTasks::openRow(ClientApp &app, const QString &content) {
    ShellFixture::actAs(app); // what follows is this member's doing
    MainWindow *main = app.mainWindow;
    main->reload();
    const int row = rowOf(main->taskGrid, content);
    QVERIFY2(row >= 0, qPrintable(content));
    main->taskGrid->setCurrentIndex(main->taskGrid->model()->index(row, 1));
    main->taskWorkflow->openCurrentRow();
}

void TestTasks::openProject(ClientApp &app, const QString &id) {
    MainWindow *main = app.mainWindow;
    main->queryEdit->clear();
    main->projectQuery->runQuery();
    int row = 0;
    while (row < main->projectGrid->model()->rowCount() &&
           main->projectGrid->model()->index(row, 0).data().toString() != id)
        ++row;
    QVERIFY2(row < main->projectGrid->model()->rowCount(), qPrintable(id));
    main->projectGrid->setCurrentIndex(main->projectGrid->model()->index(row, 0));
    main->projectQuery->openCurrentProject();
    QVERIFY(app.projectWindow->isVisible());
}

void TestTasks::openTask(ClientApp &app, bool inMain, const QString &content) {
    if (inMain)
        return openRow(app, content);
    ShellFixture::actAs(app);
    ProjectWindow *project = app.projectWindow;
    const int row = rowOf(project->taskGrid, content);
    QVERIFY2(row >= 0, qPrintable(content));
    project->taskGrid->setCurrentIndex(project->taskGrid->model()->index(row, 1));
    project->taskWorkflow->openCurrentRow();
}

void TestTasks::dispatchFromTheChart() {
    auto mareth = logIn("tb58", "pw");
    QVERIFY(mareth);
    openProject(*mareth);
    ProjectWindow *project = mareth->projectWindow;
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    project->dispatchButton->click();
    QVERIFY(dispatch->isVisible());
    QVERIFY(dispatch->chart->isVisible() && !dispatch->form->isVisible());
    QVERIFY(!project->isEnabled());

    // A double-click on "业务需求" fills the form for that step.
    const QPoint node = dispatch->chart->nodeRect(0).center();
    QTest::mouseDClick(dispatch->chart, Qt::LeftButton, {}, node);
    QVERIFY(dispatch->form->isVisible() && !dispatch->chart->isVisible());
    QCOMPARE(dispatch->projectIdLabel->text(), "GD1");
    QVERIFY(dispatch->contentEdit->toPlainText().startsWith("业务需求\n了解项目基本信息"));
    QCOMPARE(dispatch->dispatcherBox->currentText(), "Mareth");
    QCOMPARE(dispatch->related->text(), "Kestra|Halvic");
    QCOMPARE(dispatch->dueTimeEdit->dateTime(), kNow);
    dispatch->saveButton->click();
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "已成功派发任务，请提醒相关人员查看！");
    QCOMPARE(boxes[0].caption, "派发任务");

    QCOMPARE(db("select TaskId||'/'||TaskDemander||'/'||TaskPerformer||'/'||TaskCreateTime||'/'||"
                "TaskCompleteFlag||'/'||TaskList||'/'||TaskReadTime||'/'||TaskCCList from Task"),
             QStringList{"GD1/Mareth//" + kNowText + "/0///Kestra|Halvic"});
    QCOMPARE(
        db("select Content||'/'||Demander||'/'||Performer from Notice"),
        QStringList{"项目编号:GD1 添加了派发任务，请以下执行人选注意查收/Mareth/Kestra|Halvic"});
    // The project window was re-filled: one task, and the count stored.
    QCOMPARE(project->taskGrid->model()->rowCount(), 1);
    QCOMPARE(db("select ProTask from Programe"), QStringList{"1"});
    dispatch->close();
    QVERIFY(project->isEnabled());
}

void TestTasks::dispatchWindowRefusalsAndPicker() {
    auto mareth = logIn("tb58", "pw");
    openProject(*mareth);
    mareth->projectWindow->dispatchButton->click();
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    dispatch->pickStep(12); // "常规下单": the member types the text
    QCOMPARE(dispatch->contentEdit->toPlainText(), "");
    dispatch->saveButton->click();
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "请先输入任务内容后再派发");
    QCOMPARE(db("select count(*) from Task"), QStringList{"0"});

    // Only the member is ticked; the first tick replaces the step's persons.
    QListWidget *list = dispatch->related->list;
    QStringList ticked;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            ticked << list->item(i)->text();
    QCOMPARE(ticked, QStringList{"Mareth"});
    dispatch->pickStep(1);
    QCOMPARE(dispatch->related->text(), "Aldren|Berric");
    list->item(2)->setCheckState(Qt::Checked);
    QCOMPARE(dispatch->related->text(), "Mareth|Halvic");
    dispatch->related->toggleAll();
    QCOMPARE(dispatch->related->text(), "Mareth|Kestra|Halvic");
    dispatch->close(); // what was chosen is not stored: asked first, answered Yes
    QCOMPARE(shown().size(), 1);
}

void TestTasks::wholeFlowWithTwoMembers() {
    QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra|Halvic")));
    auto mareth = logIn("tb58", "pw");
    auto kestra = logIn("kestra", "k");
    MainWindow *m = mareth->mainWindow, *k = kestra->mainWindow;
    TaskPanel *kPanel = k->taskPanel, *mPanel = m->taskPanel;

    // Kestra opens it: the read receipt, seen by the dispatcher.
    openRow(*kestra, "安装");
    QCOMPARE(kPanel->readTimeLabel->text(), kNowText + "--Kestra");
    QCOMPARE(db("select TaskReadTime from Task"), QStringList{kNowText + "--Kestra"});
    QCOMPARE(kPanel->applyButton->text(), "申请完成(&S)");
    QCOMPARE(kPanel->completeButton->text(), "领取任务(&L)");
    openRow(*mareth, "安装");
    QCOMPARE(mPanel->readTimeLabel->text(), kNowText + "--Kestra");
    openRow(*kestra, "安装"); // read once: nothing more is written
    QCOMPARE(db("select count(*) from Notice where Content like '%查阅'"), QStringList{"1"});

    // Claim, then apply: a blank note is refused first.
    Dialogs::setNextAnswer(QMessageBox::Yes);
    kPanel->completeButton->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(db("select TaskPerformer||'/'||TaskCompleteFlag from Task"), QStringList{"Kestra/0"});
    kPanel->noteBox->setPlainText("  ");
    kPanel->applyButton->click();
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "请先输入任务完成情况说明后点击申请完成任务！");
    kPanel->noteBox->setPlainText("已安装|待验收");
    kPanel->applyButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "已将任务完成申请提交至Mareth,请等待审核结果.");
    QCOMPARE(db("select TaskCompleteFlag||'/'||TaskList from Task"),
             QStringList{"1/已安装|待验收"});

    // The dispatcher rejects with a reason; Kestra applies again; the dispatcher agrees.
    openRow(*mareth, "安装");
    QCOMPARE(mPanel->applyButton->text(), "重新完成(&C)");
    QCOMPARE(mPanel->completeButton->text(), "同意完成(&T)");
    QCOMPARE(mPanel->noteBox->toPlainText(), "已安装\n待验收");
    QCOMPARE(m->taskGrid->model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(),
             TaskGrid::kMainNeutral); // Mareth is not a related person
    mPanel->noteBox->setPlainText("请补照片");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    mPanel->applyButton->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(db("select TaskCompleteFlag||'/'||TaskList from Task"), QStringList{"0/请补照片"});
    openRow(*kestra, "安装");
    QCOMPARE(k->taskGrid->model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(),
             QColor(0xC8, 0x64, 0x32));
    kPanel->noteBox->setPlainText("已补");
    kPanel->applyButton->click();
    QCOMPARE(shown().size(), 1);
    openRow(*mareth, "安装");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    mPanel->completeButton->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(db("select TaskCompleteFlag||'/'||TaskList||'/'||TaskPerformer from Task"),
             QStringList{"2/已补/Kestra"});
    openRow(*kestra, "安装");
    QCOMPARE(kPanel->applyButton->text(), "已完成任务");
    QVERIFY(!kPanel->applyButton->isEnabled() && !kPanel->completeButton->isEnabled());

    QCOMPARE(db("select Demander||':'||Content from Notice order by rowid"),
             (QStringList{
                 "Kestra:项目编号:GD1 下派发任务已被Kestra查阅",
                 "Kestra:项目编号:GD1 下的派发任务已被人领取！",
                 "Kestra:项目编号:GD1 下的派发任务已申请完成任务，请相关派发人查看！",
                 "Mareth:项目编号:GD1 下的派发任务已由派发人驳回重新完成，请相关执行人重新完成！",
                 "Kestra:项目编号:GD1 下的派发任务已申请完成任务，请相关派发人查看！",
                 "Mareth:项目编号:GD1 下的派发任务已完成！"}));
    // Each sees the other's step: at the next reminder, the panel and the title count.
    ShellFixture::actAs(*kestra);
    k->showReminder();
    QVERIFY(k->noticePanel->toPlainText().contains("下的派发任务已完成！"));
    QVERIFY2(k->windowTitle().endsWith("0个任务未完成！"), qPrintable(k->windowTitle()));
}

void TestTasks::theTwoPlacesDiffer_data() {
    QTest::addColumn<bool>("inMain");
    QTest::newRow("main window") << true;
    QTest::newRow("project window") << false;
}

void TestTasks::theTwoPlacesDiffer() {
    QFETCH(bool, inMain);
    QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra")));
    QVERIFY(fixture_.exec(task("别人的", "Kestra", "0", "Halvic"))); // listed, not related
    auto kestra = logIn("kestra", "k");
    MainWindow *main = kestra->mainWindow;
    ProjectWindow *project = kestra->projectWindow;
    if (!inMain)
        openProject(*kestra);
    TaskPanel *panel = inMain ? main->taskPanel : project->taskPanel;
    TaskWorkflow *workflow = inMain ? main->taskWorkflow : project->taskWorkflow;
    QTableView *grid = inMain ? main->taskGrid : project->taskGrid;

    // Before a row is opened the actions, re-edit included, have nothing to act on.
    QVERIFY(!panel->applyButton->isEnabled() && !panel->completeButton->isEnabled());
    QVERIFY(!panel->reeditButton->isEnabled());

    grid->setCurrentIndex(grid->model()->index(rowOf(grid, "安装"), 1));
    workflow->openCurrentRow();
    // The read receipt writes the read time only: the reader is not the performer.
    QCOMPARE(workflow->opened.performer, "");
    QCOMPARE(panel->performerLabel->text(), "");
    QCOMPARE(db("select TaskPerformer||'/'||TaskReadTime from Task where TaskContent='安装'"),
             QStringList{"/" + kNowText + "--Kestra"});
    QCOMPARE(db("select Performer from Notice"), QStringList{inMain ? "Kestra" : ""});
    QVERIFY(panel->reeditButton->isEnabled());
    const QColor unrelated =
        grid->model()->index(rowOf(grid, "别人的"), 0).data(Qt::BackgroundRole).value<QColor>();
    QCOMPARE(unrelated, inMain ? TaskGrid::kMainNeutral : TaskGrid::kProjectNeutral);

    // In either place the reader can claim at once.
    Dialogs::setNextAnswer(QMessageBox::Yes);
    panel->completeButton->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(db("select TaskPerformer from Task where TaskContent='安装'"), QStringList{"Kestra"});
    project->close();
}

void TestTasks::secondClaimLearnsTheTaskIsTaken() {
    QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra|Halvic", "2026-12-20 09:00:00",
                               "2026-12-09 08:00:00--Halvic")));
    auto kestra = logIn("kestra", "k");
    auto halvic = logIn("halvic", "h");
    openRow(*kestra, "安装");
    openRow(*halvic, "安装");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    ShellFixture::actAs(*kestra);
    kestra->mainWindow->taskPanel->completeButton->click();
    QCOMPARE(shown().size(), 1);
    Dialogs::setNextAnswer(QMessageBox::Yes);
    ShellFixture::actAs(*halvic);
    halvic->mainWindow->taskPanel->completeButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes[1].text.contains("已被他人领取"), qPrintable(boxes[1].text));
    QCOMPARE(db("select TaskPerformer from Task"), QStringList{"Kestra"});
    QCOMPARE(db("select Demander from Notice where Content like '%领取%'"), QStringList{"Kestra"});
    // The lists read again, Halvic's opened task shows who has it.
    QCOMPARE(halvic->mainWindow->taskWorkflow->opened.performer, "Kestra");
    QCOMPARE(halvic->mainWindow->taskPanel->performerLabel->text(), "Kestra");
}

void TestTasks::failedActionsSayWhatHappened() {
    QVERIFY(fixture_.exec(
        task("安装", "", "0", "Halvic", "2026-12-20 09:00:00", "2026-12-09 08:00:00--Halvic")));
    QVERIFY(fixture_.server().refuseChanges("Task", "update of TaskCompleteFlag"));
    auto mareth = logIn("tb58", "pw"); // the dispatcher; any member may claim
    TaskPanel *panel = mareth->mainWindow->taskPanel;
    openRow(*mareth, "安装");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    panel->completeButton->click();
    auto boxes = shown();
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes[1].text.startsWith("领取任务出错！\r服务器拒绝了此次请求，数据未改变。原因："), qPrintable(boxes[1].text));
    QCOMPARE(boxes[1].icon, QMessageBox::Critical);
    QCOMPARE(mareth->mainWindow->taskWorkflow->opened.performer, "");

    panel->noteBox->setPlainText("完成");
    panel->applyButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.startsWith("申请完成任务出错！\r服务器拒绝了此次请求，数据未改变。原因："), qPrintable(boxes[0].text));
    QCOMPARE(mareth->mainWindow->taskWorkflow->opened.state, "0");
    QCOMPARE(db("select TaskCompleteFlag||'/'||TaskPerformer from Task"), QStringList{"0/"});
    QCOMPARE(db("select count(*) from Notice"), QStringList{"0"});
}

// Any member who opens an applied task may agree, not only its dispatcher:
// the button is offered, the server takes it, and the notice is the member's.
void TestTasks::anyMemberAgrees() {
    QVERIFY(fixture_.exec(task("安装", "Kestra", "1", "Kestra", "2026-12-20 09:00:00",
                               "2026-12-09 08:00:00--Kestra")));
    auto kestra = logIn("kestra", "k"); // the performer, not the dispatcher
    openRow(*kestra, "安装");
    QPushButton *agree = kestra->mainWindow->taskPanel->completeButton;
    QVERIFY(agree->isEnabled());
    QVERIFY(agree->toolTip().isEmpty());
    Dialogs::setNextAnswer(QMessageBox::Yes);
    agree->click();
    QCOMPARE(shown().size(), 1); // the question only
    QCOMPARE(db("select TaskCompleteFlag from Task"), QStringList{"2"});
    QCOMPARE(db("select Demander||':'||Content from Notice"),
             QStringList{"Kestra:项目编号:GD1 下的派发任务已完成！"});
    QCOMPARE(kestra->mainWindow->taskWorkflow->opened.state, "2");
}

// The server refuses an agreement to a task that another member completed
// after it was opened: the member reads why in Chinese, the server's English
// goes to the log, and nothing is written.
void TestTasks::refusedTaskActionTellsTheReasonInChinese() {
    QVERIFY(fixture_.exec(task("安装", "Kestra", "1", "Kestra", "2026-12-20 09:00:00",
                               "2026-12-09 08:00:00--Kestra")));
    auto kestra = logIn("kestra", "k");
    openRow(*kestra, "安装");
    // Completed meanwhile; the click comes before the window hears of it.
    QVERIFY(fixture_.exec("update Task Set TaskCompleteFlag='2' where TaskContent='安装'"));
    Dialogs::setNextAnswer(QMessageBox::Yes);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("a completed task cannot be changed"));
    kestra->mainWindow->taskPanel->completeButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 2); // the question, then the refusal
    QCOMPARE(boxes[1].caption, "同意完成任务");
    QCOMPARE(boxes[1].icon, QMessageBox::Critical);
    QVERIFY2(boxes[1].text.startsWith("同意完成任务出错！\r服务器拒绝了此次请求，数据未改变。原因："),
             qPrintable(boxes[1].text));
    QVERIFY2(!boxes[1].text.contains(QRegularExpression("[A-Za-z]")), qPrintable(boxes[1].text));
    QCOMPARE(db("select TaskCompleteFlag from Task"), QStringList{"2"});
    QCOMPARE(db("select count(*) from Notice"), QStringList{"0"});
}

void TestTasks::aLostTaskActionIsReadBack_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("carriedOut"); // the cut comes after the server's answer
    QTest::addColumn<QString>("state");   // stored afterwards
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<bool>("badGateway"); // a reverse proxy answers 502 instead
    const QString agreed = "项目编号:GD1 下的派发任务已完成！";
    QTest::newRow("agree carried out") << "agree" << true << "2" << QStringList{agreed} << false;
    QTest::newRow("agree carried out, 502 from the proxy")
        << "agree" << true << "2" << QStringList{agreed} << true;
    QTest::newRow("agree never arrived") << "agree" << false << "1" << QStringList{} << false;
    QTest::newRow("apply carried out")
        << "apply" << true << "1"
        << QStringList{"项目编号:GD1 下的派发任务已申请完成任务，请相关派发人查看！"} << false;
    QTest::newRow("claim carried out")
        << "claim" << true << "0" << QStringList{"项目编号:GD1 下的派发任务已被人领取！"} << false;
}

// The connection breaks around a task action: whether the server made it is
// read back. Made, it carries on as a success: its notice is written and the
// windows show the new state. Not made, the member is told so and may retry.
void TestTasks::aLostTaskActionIsReadBack() {
    QFETCH(QString, action);
    QFETCH(bool, carriedOut);
    QFETCH(QString, state);
    QFETCH(QStringList, notices);
    QFETCH(bool, badGateway);
    const bool agree = action == "agree";
    QVERIFY(fixture_.exec(task("安装", action == "claim" ? "" : "Kestra", agree ? "1" : "0",
                               "Kestra", "2026-12-20 09:00:00", "2026-12-09 08:00:00--Kestra")));
    CuttingProxy proxy(fixture_.server().port());
    QVERIFY(proxy.start());
    QSettings(fixture_.settingsPath(), QSettings::IniFormat).setValue("Server/Port", proxy.port());
    auto member = agree ? logIn("tb58", "pw") : logIn("kestra", "k");
    openProject(*member); // acted in, so that both windows' refresh shows
    openTask(*member, false, "安装");
    TaskPanel *panel = member->projectWindow->taskPanel;
    proxy.cutNext("update Task Set TaskCompleteFlag",
                  badGateway   ? CuttingProxy::Cut::BadGatewayAfterAnswer
                  : carriedOut ? CuttingProxy::Cut::AfterAnswer
                               : CuttingProxy::Cut::BeforeRequest);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed"));
    Dialogs::setNextAnswer(QMessageBox::Yes);
    if (action == "apply") {
        panel->noteBox->setPlainText("已安装");
        panel->applyButton->click();
    } else {
        panel->completeButton->click();
    }
    QCOMPARE(proxy.cuts(), 1);
    const auto boxes = shown();
    QCOMPARE(db("select TaskCompleteFlag from Task"), QStringList{state});
    QCOMPARE(db("select Content from Notice"), notices);
    const QString opened = member->projectWindow->taskWorkflow->opened.state;
    if (carriedOut) {
        QCOMPARE(opened, state);
        for (const auto &box : boxes)
            QVERIFY2(box.icon != QMessageBox::Critical, qPrintable(box.text));
        // Both windows show what the server holds.
        const int row = rowOf(member->mainWindow->taskGrid, "安装");
        QCOMPARE(member->mainWindow->taskGrid->model()->index(row, 6).data().toString(), state);
        QCOMPARE(member->projectWindow->taskGrid->model()->index(0, 6).data().toString(), state);
        if (agree) {
            QCOMPARE(panel->completeButton->text(), "已完成任务");
            QVERIFY(!panel->completeButton->isEnabled());
        }
    } else {
        QCOMPARE(opened, "1"); // as opened: the member may press again
        QCOMPARE(boxes.last().text, "同意完成任务出错！\r与服务器的连接中断，修改未保存，请再试一次。");
        Dialogs::setNextAnswer(QMessageBox::Yes);
        panel->completeButton->click();
        QCOMPARE(shown().size(), 1);
        QCOMPARE(db("select TaskCompleteFlag from Task"), QStringList{"2"});
        QCOMPARE(db("select Content from Notice"), QStringList{"项目编号:GD1 下的派发任务已完成！"});
    }
    member->projectWindow->close();
}

void TestTasks::updateKeepsTheTaskAndTheCount() {
    QVERIFY(fixture_.exec(task("安装", "Kestra", "1", "Kestra", "2026-12-20 09:00:00",
                               "2026-12-09 08:00:00--Kestra")));
    QVERIFY(fixture_.exec("update Task Set TaskList='已装' where TaskId='GD1'"));
    QVERIFY(fixture_.exec("update Programe Set ProTask='7' where ProId='GD1'"));
    auto kestra = logIn("kestra", "k"); // not privileged: the required time stays
    openRow(*kestra, "安装");
    kestra->mainWindow->taskPanel->reeditButton->click();
    TaskDispatchWindow *dispatch = kestra->dispatchWindow;
    QVERIFY(dispatch->isVisible() && dispatch->form->isVisible());
    QCOMPARE(dispatch->saveButton->text(), "更新");
    QCOMPARE(dispatch->contentEdit->toPlainText(), "安装");
    QVERIFY(!dispatch->dueTimeEdit->isEnabled());
    dispatch->contentEdit->setPlainText("安装调试");
    dispatch->related->setText("Kestra|Halvic");
    dispatch->saveButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "已成功更新任务，请提醒相关人员查看！");
    QCOMPARE(db("select TaskContent||'/'||TaskPerformer||'/'||TaskCompleteFlag||'/'||TaskList||'/'"
                "||TaskReadTime||'/'||TaskCCList from Task"),
             QStringList{"安装调试/Kestra/1/已装/2026-12-09 08:00:00--Kestra/Kestra|Halvic"});
    QCOMPARE(db("select ProTask from Programe"), QStringList{"7"}); // an update adds no task
    QCOMPARE(db("select Content from Notice"),
             QStringList{"项目编号:GD1 更新了派发任务，请以下执行人选注意查收"});
    QVERIFY(dispatch->dueTimeEdit->isEnabled());
    dispatch->close();
}

void TestTasks::refusedUpdatePutsTheOldTaskBack() {
    QVERIFY(fixture_.exec(task("安装", "Kestra", "0", "Kestra", "2026-12-20 09:00:00",
                               "2026-12-09 08:00:00--Kestra")));
    QVERIFY(fixture_.server().refuseChanges("Task", "insert", "new.TaskContent like '%refuse%'"));
    auto mareth = logIn("tb58", "pw");
    openRow(*mareth, "安装");
    mareth->mainWindow->taskPanel->reeditButton->click();
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    QVERIFY(dispatch->dueTimeEdit->isEnabled()); // a privileged login may change it
    dispatch->contentEdit->setPlainText("refuse this");
    dispatch->saveButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text,
             "更新任务出错！原任务未改变。\r服务器拒绝了此次请求，数据未改变。原因：数据库拒绝了此次修改。");
    QCOMPARE(db("select TaskContent||'/'||TaskPerformer||'/'||TaskReadTime from Task"),
             QStringList{"安装/Kestra/2026-12-09 08:00:00--Kestra"});
    QCOMPARE(mareth->mainWindow->taskWorkflow->opened.content, "安装");
    QCOMPARE(db("select count(*) from Notice"), QStringList{"0"});
    dispatch->close(); // what was chosen is not stored: asked first, answered Yes
    QCOMPARE(shown().size(), 1);
}

void TestTasks::aLostAnswerIsReadBack_data() {
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("cutAt");   // the request whose connection breaks
    QTest::addColumn<bool>("carriedOut"); // the cut comes after the server's answer
    QTest::addColumn<QString>("told");
    QTest::addColumn<QStringList>("stored");
    const QString insert = "Insert into Task", count = "update Programe Set ProTask";
    const QString dispatched = "已成功派发任务，请提醒相关人员查看！";
    const QString again = "\r与服务器的连接中断，修改未保存，请再试一次。";
    QTest::newRow("dispatch carried out")
        << false << insert << true << dispatched << QStringList{"新任务"};
    QTest::newRow("dispatch never arrived")
        << false << insert << false << "派发任务出错！" + again << QStringList{};
    // The task is in; the project window's refresh writes the count anyway.
    QTest::newRow("dispatch cut between its task and its count")
        << false << count << false << dispatched << QStringList{"新任务"};
    QTest::newRow("update carried out")
        << true << insert << true << "已成功更新任务，请提醒相关人员查看！"
        << QStringList{"新任务"};
    QTest::newRow("update never arrived")
        << true << insert << false << "更新任务出错！原任务未改变。" + again << QStringList{"安装"};
}

// The connection breaks around the change: whether the server carried it out
// is read back, and the member is told which; pressing again never doubles it.
void TestTasks::aLostAnswerIsReadBack() {
    QFETCH(bool, update);
    QFETCH(QString, cutAt);
    QFETCH(bool, carriedOut);
    QFETCH(QString, told);
    QFETCH(QStringList, stored);
    if (update)
        QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra")));
    CuttingProxy proxy(fixture_.server().port());
    QVERIFY(proxy.start());
    QSettings(fixture_.settingsPath(), QSettings::IniFormat).setValue("Server/Port", proxy.port());
    auto mareth = logIn("tb58", "pw");
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    if (update) {
        openRow(*mareth, "安装");
        mareth->mainWindow->taskPanel->reeditButton->click();
    } else {
        openProject(*mareth);
        mareth->projectWindow->dispatchButton->click();
        dispatch->pickStep(0);
    }
    dispatch->contentEdit->setPlainText("新任务");
    proxy.cutNext(cutAt.toStdString(),
                  carriedOut ? CuttingProxy::Cut::AfterAnswer : CuttingProxy::Cut::BeforeRequest);
    dispatch->saveButton->click();
    QCOMPARE(proxy.cuts(), 1);
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, told);
    QCOMPARE(db("select TaskContent from Task"), stored);
    if (!update)
        QCOMPARE(db("select ProTask from Programe"), QStringList{QString::number(stored.size())});
    // Pressed again: stored once, whatever happened before.
    dispatch->saveButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(db("select TaskContent from Task"), QStringList{"新任务"});
    dispatch->close();
    if (!update)
        mareth->projectWindow->close();
}

void TestTasks::unreadableDatesAreSaid() {
    QVERIFY(fixture_.exec(task("安装", "", "0", "Mareth", "soon", "2026-12-09 08:00:00--Mareth")));
    auto mareth = logIn("tb58", "pw");
    MainWindow *main = mareth->mainWindow;
    openRow(*mareth, "安装");
    QCOMPARE(main->taskGrid->model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(),
             QColor(0xC8, 0x64, 0x32));
    main->taskPanel->reeditButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains("无法识别"), qPrintable(boxes[0].text));
    QVERIFY(!mareth->dispatchWindow->isVisible());

    // The project window opens and fills all the same.
    openProject(*mareth);
    QCOMPARE(mareth->projectWindow->progressGrid->textAt(1, 0), "安装");
    mareth->projectWindow->close();
}

void TestTasks::buttonsFollowTheStateAfterAnAction_data() {
    QTest::addColumn<bool>("inMain");
    QTest::addColumn<bool>("agree"); // or reject
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("caption"); // of both buttons' first, the apply button
    QTest::addColumn<bool>("enabled");
    QTest::newRow("agree, main window") << true << true << "2"
                                        << "已完成任务" << false;
    QTest::newRow("agree, project window") << false << true << "2"
                                           << "已完成任务" << false;
    QTest::newRow("reject, main window") << true << false << "0"
                                         << "申请完成(&S)" << true;
    QTest::newRow("reject, project window") << false << false << "0"
                                            << "申请完成(&S)" << true;
}

void TestTasks::buttonsFollowTheStateAfterAnAction() {
    QFETCH(bool, inMain);
    QFETCH(bool, agree);
    QFETCH(QString, state);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QVERIFY(fixture_.exec(task("安装", "Kestra", "1", "Kestra", "2026-12-20 09:00:00",
                               "2026-12-09 08:00:00--Kestra")));
    QVERIFY(fixture_.exec("update Task Set TaskList='已安装' where TaskId='GD1'"));
    auto mareth = logIn("tb58", "pw"); // the dispatcher
    if (!inMain)
        openProject(*mareth);
    TaskPanel *panel = inMain ? mareth->mainWindow->taskPanel : mareth->projectWindow->taskPanel;
    TaskWorkflow *workflow =
        inMain ? mareth->mainWindow->taskWorkflow : mareth->projectWindow->taskWorkflow;
    openTask(*mareth, inMain, "安装");
    QCOMPARE(panel->applyButton->text(), "重新完成(&C)");
    // Agreeing stores the note as opened, not the note box's edited text;
    // rejecting stores the note box.
    panel->noteBox->setPlainText("请补照片");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    (agree ? panel->completeButton : panel->applyButton)->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(db("select TaskCompleteFlag||'/'||TaskList from Task"),
             QStringList{state + "/" + (agree ? "已安装" : "请补照片")});

    QCOMPARE(workflow->opened.state, state);
    QCOMPARE(panel->applyButton->text(), caption);
    QCOMPARE(panel->completeButton->text(), agree ? "已完成任务" : "领取任务(&L)");
    QCOMPARE(panel->applyButton->isEnabled(), enabled);
    // Kestra still performs a rejected task: it is not offered to be claimed again.
    QVERIFY(!panel->completeButton->isEnabled());
    QCOMPARE(panel->completeButton->toolTip().isEmpty(), agree);
    if (agree) {
        // Whatever is pressed now, a completed task stays completed.
        workflow->applyOrReject();
        workflow->claimOrAgree();
        QCOMPARE(shown().size(), 0);
        QCOMPARE(db("select TaskCompleteFlag from Task"), QStringList{"2"});
    }
    if (!inMain)
        mareth->projectWindow->close();
}

void TestTasks::rejectionByAnotherMemberDoesNothing() {
    QVERIFY(fixture_.exec(task("安装", "Kestra", "1", "Kestra", "2026-12-20 09:00:00",
                               "2026-12-09 08:00:00--Kestra")));
    QVERIFY(fixture_.exec("update Task Set TaskList='已安装' where TaskId='GD1'"));
    auto kestra = logIn("kestra", "k"); // the performer, not the dispatcher
    openRow(*kestra, "安装");
    TaskPanel *panel = kestra->mainWindow->taskPanel;
    QCOMPARE(panel->applyButton->text(), "重新完成(&C)");
    // Not offered, and the member reads why; agreeing stays open to any member.
    QVERIFY(!panel->applyButton->isEnabled());
    QCOMPARE(panel->applyButton->toolTip(), "只有任务的派发人才能驳回重新完成。");
    QVERIFY(panel->completeButton->isEnabled());
    panel->noteBox->setPlainText("不算");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    panel->applyButton->click();
    kestra->mainWindow->taskWorkflow->applyOrReject();
    QCOMPARE(shown().size(), 0); // not even asked
    Dialogs::setRecording(true); // drops the answer nobody asked for
    QCOMPARE(db("select TaskCompleteFlag||'/'||TaskList from Task"), QStringList{"1/已安装"});
    QCOMPARE(db("select count(*) from Notice"), QStringList{"0"});
    QCOMPARE(kestra->mainWindow->taskWorkflow->opened.state, "1");
}

void TestTasks::actionOnATaskGoneMeanwhileIsSaid_data() {
    QTest::addColumn<bool>("receipt"); // or applying for completion
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QString>("caption");
    const QString deleted = "delete from Task";
    const QString rekeyed = "update Task set TaskContent='改过'";
    QTest::newRow("apply, deleted") << false << deleted << "申请完成任务！";
    QTest::newRow("apply, re-keyed") << false << rekeyed << "申请完成任务！";
    QTest::newRow("read receipt, deleted") << true << deleted << "签收任务";
}

// Another member deleted or re-keyed the task after the member listed or
// opened it: the change touches no row, the member is told so, and no notice
// is written.
void TestTasks::actionOnATaskGoneMeanwhileIsSaid() {
    QFETCH(bool, receipt);
    QFETCH(QString, meanwhile);
    QFETCH(QString, caption);
    QVERIFY(fixture_.exec(task("安装", "Kestra", "0", "Kestra", "2026-12-20 09:00:00",
                               receipt ? "" : "2026-12-09 08:00:00--Kestra")));
    auto kestra = logIn("kestra", "k");
    MainWindow *main = kestra->mainWindow;
    ShellFixture::actAs(*kestra);
    main->reload();
    main->taskGrid->setCurrentIndex(
        main->taskGrid->model()->index(rowOf(main->taskGrid, "安装"), 1));
    if (!receipt)
        main->taskWorkflow->openCurrentRow();
    QVERIFY(fixture_.exec(meanwhile));
    if (receipt) {
        main->taskWorkflow->openCurrentRow();
    } else {
        main->taskPanel->noteBox->setPlainText("完成");
        main->taskPanel->applyButton->click();
    }
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, caption);
    QVERIFY2(boxes[0].text.startsWith("该任务已被他人修改或删除，数据未改变。"),
             qPrintable(boxes[0].text));
    QCOMPARE(db("select count(*) from Notice"), QStringList{"0"});
    QCOMPARE(db("select count(*) from Task where TaskCompleteFlag<>'0'"), QStringList{"0"});
    QVERIFY(!main->taskPanel->applyButton->isEnabled());
    QVERIFY(!main->taskPanel->completeButton->isEnabled());
    QCOMPARE(rowOf(main->taskGrid, "安装"), -1); // the list shows what is stored
}

void TestTasks::dispatchLeavesTheOpenedTaskAlone() {
    QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra")));
    auto mareth = logIn("tb58", "pw");
    openProject(*mareth);
    ProjectWindow *project = mareth->projectWindow;
    openTask(*mareth, false, "安装");
    QCOMPARE(project->taskWorkflow->opened.content, "安装");

    project->dispatchButton->click();
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    dispatch->pickStep(0);
    dispatch->saveButton->click();
    QCOMPARE(shown().size(), 1);
    dispatch->close();
    QCOMPARE(db("select count(*) from Task"), QStringList{"2"});

    // The sheet still shows "安装", and its buttons act on it.
    QCOMPARE(project->taskWorkflow->opened.content, "安装");
    QCOMPARE(project->taskPanel->contentBox->toPlainText(), "安装");
    project->taskPanel->noteBox->setPlainText("装好了");
    project->taskPanel->applyButton->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(db("select TaskContent||'/'||TaskCompleteFlag from Task order by TaskContent='安装'"),
             (QStringList{dispatch->contentEdit->toPlainText() + "/0", "安装/1"}));
    project->close();
}

void TestTasks::reeditWaitsForATaskOfTheShownProject() {
    QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra")));
    QVERIFY(
        fixture_.exec("Insert into Programe values('GD2','华东','目标','内容','Mareth','Kestra',"
                      "'2026-12-02 09:00:00','2026-12-30 09:00:00','No','0','')"));
    auto mareth = logIn("tb58", "pw");
    openProject(*mareth, "GD1");
    ProjectWindow *project = mareth->projectWindow;
    QPushButton *reedit = project->taskPanel->reeditButton;
    QVERIFY(!reedit->isEnabled());

    // A dispatch opens no task of the sheet.
    project->dispatchButton->click();
    mareth->dispatchWindow->pickStep(0);
    mareth->dispatchWindow->saveButton->click();
    QCOMPARE(shown().size(), 1);
    mareth->dispatchWindow->close();
    QVERIFY(!reedit->isEnabled());

    openTask(*mareth, false, "安装");
    QVERIFY(reedit->isEnabled());
    project->close();

    // Another project: the task opened for GD1 is not one of its tasks.
    openProject(*mareth, "GD2");
    QCOMPARE(project->project.id, "GD2");
    QVERIFY(!reedit->isEnabled());
    QVERIFY(!project->taskPanel->applyButton->isEnabled());
    QVERIFY(!project->taskPanel->completeButton->isEnabled());
    project->close();
}

void TestTasks::taskEditorKeepsTheTaskItEdits() {
    QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra")));
    QVERIFY(fixture_.exec(task("调试", "", "0", "Halvic")));
    auto mareth = logIn("tb58", "pw");
    openRow(*mareth, "安装");
    mareth->mainWindow->taskPanel->reeditButton->click();
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    QCOMPARE(dispatch->contentEdit->toPlainText(), "安装");

    // Another row opened meanwhile: "更新" still replaces the task on the form.
    openRow(*mareth, "调试");
    dispatch->contentEdit->setPlainText("安装调试");
    dispatch->saveButton->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(db("select TaskContent||'/'||TaskCCList from Task order by TaskContent"),
             (QStringList{"安装调试/Kestra", "调试/Halvic"}));
    // The opened row is still "调试", and acts on it.
    QCOMPARE(mareth->mainWindow->taskWorkflow->opened.content, "调试");
    dispatch->close();
}

void TestTasks::dispatchingTheSameTaskTwiceStoresItOnce() {
    auto mareth = logIn("tb58", "pw");
    openProject(*mareth);
    mareth->projectWindow->dispatchButton->click();
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    dispatch->pickStep(0);
    dispatch->saveButton->click();
    QCOMPARE(shown().size(), 1);
    dispatch->saveButton->click(); // the same project, content and dispatcher
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains("已有") && boxes[0].text.contains("未再次派发"),
             qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].caption, "派发任务");
    QCOMPARE(db("select count(*) from Task"), QStringList{"1"});
    QCOMPARE(db("select count(*) from Notice"), QStringList{"1"});
    QCOMPARE(db("select ProTask from Programe"), QStringList{"1"});
    dispatch->close();
    mareth->projectWindow->close();
}

void TestTasks::storedDispatchWhoseRefreshFailedSaysSo() {
    auto mareth = logIn("tb58", "pw");
    openProject(*mareth);
    ProjectWindow *project = mareth->projectWindow;
    project->dispatchButton->click();
    TaskDispatchWindow *dispatch = mareth->dispatchWindow;
    dispatch->pickStep(0);
    // The server goes away between the dispatch and the project window's refresh.
    const int port = fixture_.server().port();
    QStringList stored;
    dispatch->setAfterChange([&] {
        stored = db("select TaskContent from Task");
        fixture_.stop();
        project->refill();
    });
    dispatch->saveButton->click();
    QCOMPARE(stored.size(), 1);
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(
        boxes[0].text,
        QString("已成功派发任务，请提醒相关人员查看！\r任务已保存，但刷新列表失败：无法连接服务"
                "器（127.0.0.1:%1），请检查网络，或请管理员确认服务器正在运行。")
            .arg(port));
    QCOMPARE(boxes[0].caption, "派发任务");
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    dispatch->close();
    project->close();
}

// Numbers and times whole in the grid's own font, never narrower than
// designed; a column the member widens stays so through a reload.
void TestTasks::taskGridColumnWidths() {
    QVERIFY(fixture_.exec(task("安装", "", "0", "Kestra")));
    auto mareth = logIn("tb58", "pw");
    openProject(*mareth);
    const QList<int> widths = {95, 90, 60, 60, 105, 105, 75, 92, 105, 75};
    for (QTableView *grid : {mareth->mainWindow->taskGrid, mareth->projectWindow->taskGrid}) {
        QCOMPARE(grid->model()->columnCount(), widths.size());
        for (int column = 0; column < widths.size(); ++column)
            QVERIFY(grid->columnWidth(column) >= widths[column]);
        for (int column : {0, 4, 5})
            QVERIFY2(grid->columnWidth(column) >
                         grid->fontMetrics().horizontalAdvance(
                             grid->model()->index(0, column).data().toString()),
                     qPrintable(grid->model()->index(0, column).data().toString()));
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);
        grid->horizontalHeader()->resizeSection(1, 321); // as a drag does
    }
    mareth->mainWindow->reload();
    mareth->projectWindow->refill();
    for (QTableView *grid : {mareth->mainWindow->taskGrid, mareth->projectWindow->taskGrid})
        QCOMPARE(grid->columnWidth(1), 321);
    mareth->projectWindow->close();
}

QTEST_MAIN(TestTasks)
#include "TestTasks.moc"
