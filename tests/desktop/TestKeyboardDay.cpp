// A whole working day by keyboard alone, under a real window manager (openbox
// on an Xvfb of its own): every key goes to the widget that has the focus, as
// a member's keyboard would send it, and no mouse, no click and no slot is
// used. Mareth logs in, queries, opens a project, adds a flow node,
// dispatches a task through the chart, claims it and applies; Kestra logs in
// beside, agrees, picks Mareth and a month in the statistics and exports the
// project list, the file dialog answered through the Dialogs seam.

#include "ClientApp.h"
#include "desktop/DesktopTestMain.h"
#include "projects/ProjectWindow.h"
#include "seams/Dialogs.h"
#include "seams/QtChinese.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "statistics/StatisticsTab.h"
#include "support/ShellFixture.h"
#include "tasks/TaskDispatchWindow.h"
#include "tasks/TaskPanel.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

const QSize kScreen(1366, 768);
const int kPanel = 40;

// Where the keyboard's keys go: the focus widget of the active window.
QWidget *focused() {
    QWidget *widget = QApplication::focusWidget();
    return widget ? widget : QApplication::activeWindow();
}

QString focusedName() {
    QWidget *widget = focused();
    return widget ? QString("%1 '%2'").arg(widget->metaObject()->className(),
                                           widget->accessibleName())
                  : QString("nothing");
}

} // namespace

class TestKeyboardDay : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void aWholeDayByKeyboard();

private:
    // One key, or a text, to the focused widget.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void type(const QString &text);
    // Presses Tab until `target` has the focus; false after `most` presses.
    bool tabTo(QWidget *target, int most = 30);
    // Waits until the window is the active one, as the window manager makes it.
    bool becomesActive(QWidget *window);
    // Shows the login window (as the client's start does) and logs in by keys.
    bool logInByKeys(ClientApp &client, const QString &user, const QString &password);
    // The row of the task grid whose content starts with `content`; -1 if none.
    static int rowOf(QTableView *grid, const QString &content);
    // Moves the grid's current row to `row` by Down and Up, from wherever it is.
    void arrowTo(QTableView *grid, int row);

    ShellFixture fixture_;
    std::unique_ptr<ClientApp> mareth_, kestra_;
};

void TestKeyboardDay::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start({{"tb58", "pw", "Mareth"}, {"kestra", "k", "Kestra"}}),
             qPrintable(fixture_.server().errorText()));
    LoginSettings::setSystemPath(QString());
    QVERIFY(fixture_.exec("Insert into Programe values('GD20261201001','来源','目标','内容',"
                          "'Mareth','Kestra','2026-12-01 09:00:00','2026-12-20 09:00:00','No',"
                          "'0','')"));
}

void TestKeyboardDay::cleanup() {
    kestra_.reset();
    mareth_.reset();
    fixture_.stop();
}

void TestKeyboardDay::press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget *target = focused();
    QVERIFY2(target, "no window has the keyboard");
    QTest::keyClick(target, key, modifiers);
}

void TestKeyboardDay::type(const QString &text) {
    QWidget *target = focused();
    QVERIFY2(target, "no window has the keyboard");
    QTest::keyClicks(target, text);
}

bool TestKeyboardDay::tabTo(QWidget *target, int most) {
    for (int i = 0; i < most && focused() != target; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    if (focused() != target)
        qWarning("Tab never reached %s; the focus is on %s", target->metaObject()->className(),
                 qPrintable(focusedName()));
    return focused() == target;
}

bool TestKeyboardDay::becomesActive(QWidget *window) {
    return QTest::qWaitFor([window] { return window->isActiveWindow() && focused(); }, 10000);
}

bool TestKeyboardDay::logInByKeys(ClientApp &client, const QString &user,
                                  const QString &password) {
    LoginWindow *login = client.loginWindow;
    login->open(); // as the client's start shows it, without blocking the test
    if (!becomesActive(login))
        return false;
    // The last login is filled in: each field's text selected and typed over.
    if (!tabTo(login->userNameEdit))
        return false;
    QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focused(), user);
    QTest::keyClick(focused(), Qt::Key_Tab);
    if (focused() != login->passwordEdit)
        return false;
    QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focused(), password);
    QTest::keyClick(focused(), Qt::Key_Return);
    if (login->result() != QDialog::Accepted || !client.mainWindow->hasMember())
        return false;
    client.mainWindow->show(); // what the client's start does after the login
    return becomesActive(client.mainWindow);
}

int TestKeyboardDay::rowOf(QTableView *grid, const QString &content) {
    const QAbstractItemModel *model = grid->model();
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column)
            if (model->index(row, column).data().toString().startsWith(content))
                return row;
    return -1;
}

void TestKeyboardDay::arrowTo(QTableView *grid, int row) {
    QVERIFY(focused() == grid);
    if (!grid->currentIndex().isValid())
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 50 && grid->currentIndex().row() < row; ++i)
        QTest::keyClick(grid, Qt::Key_Down);
    for (int i = 0; i < 50 && grid->currentIndex().row() > row; ++i)
        QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(grid->currentIndex().row(), row);
}

void TestKeyboardDay::aWholeDayByKeyboard() {
    // --- Mareth: log in, query, open the project. ---
    mareth_ = std::make_unique<ClientApp>();
    QVERIFY(logInByKeys(*mareth_, "tb58", "pw"));
    MainWindow *main = mareth_->mainWindow;
    QVERIFY2(tabTo(main->queryEdit), qPrintable(focusedName()));
    type("Kestra,");
    press(Qt::Key_Return);
    QTRY_COMPARE(main->projectGrid->model()->rowCount(), 1);
    QVERIFY(tabTo(main->projectGrid));
    arrowTo(main->projectGrid, 0);
    press(Qt::Key_Return);
    ProjectWindow *project = mareth_->projectWindow;
    QVERIFY(becomesActive(project));
    QCOMPARE(project->project.id, "GD20261201001");

    // --- A flow node: the edit's prompt selected away, the node typed, Enter. ---
    QVERIFY(tabTo(project->nodeEdit));
    press(Qt::Key_A, Qt::ControlModifier);
    type("drawings checked");
    press(Qt::Key_Return);
    QTRY_VERIFY(project->flowNodeBox->toPlainText().contains("drawings checked"));

    // --- A task through the chart: its first step, Enter, then 派发. ---
    QVERIFY(tabTo(project->dispatchButton));
    press(Qt::Key_Space);
    TaskDispatchWindow *dispatch = mareth_->dispatchWindow;
    QVERIFY(becomesActive(dispatch));
    press(Qt::Key_Return); // the first step has the keyboard
    QVERIFY(dispatch->form->isVisible());
    QVERIFY(dispatch->contentEdit->toPlainText().startsWith("业务需求\n"));
    QVERIFY(tabTo(dispatch->saveButton));
    press(Qt::Key_Return);
    auto boxes = Dialogs::takeShown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "已成功派发任务，请提醒相关人员查看！");
    press(Qt::Key_Escape); // stored: Esc closes without asking
    QTRY_VERIFY(!dispatch->isVisible());
    QCOMPARE(Dialogs::takeShown().size(), 0);
    QVERIFY(becomesActive(project));

    // --- Claim and apply in the project's task sheet. ---
    press(Qt::Key_Tab, Qt::ControlModifier); // the next sheet
    QTRY_COMPARE(project->sheets->currentIndex(), 1);
    QVERIFY(tabTo(project->taskGrid));
    const int row = rowOf(project->taskGrid, "业务需求");
    QVERIFY(row >= 0);
    arrowTo(project->taskGrid, row);
    press(Qt::Key_Return); // opens the task
    QVERIFY(project->taskPanel->contentBox->toPlainText().startsWith("业务需求"));
    Dialogs::takeShown();
    press(Qt::Key_L, Qt::AltModifier); // 领取任务, its question answered Yes
    QTRY_COMPARE(project->taskPanel->performerLabel->text(), "Mareth");
    QVERIFY(tabTo(project->taskPanel->noteBox));
    type("review form filled");
    press(Qt::Key_S, Qt::AltModifier); // 申请完成
    QTRY_COMPARE(project->taskPanel->applyButton->text(), "重新完成(&C)");
    QCOMPARE(project->taskPanel->completeButton->text(), "同意完成(&T)");
    press(Qt::Key_Escape); // the project window closes
    QTRY_VERIFY(!project->isVisible());
    QTRY_VERIFY(main->isEnabled());
    Dialogs::takeShown();

    // --- Kestra, beside: agrees in the task tab. ---
    kestra_ = std::make_unique<ClientApp>();
    QVERIFY(logInByKeys(*kestra_, "kestra", "k"));
    MainWindow *other = kestra_->mainWindow;
    QVERIFY(tabTo(other->queryEdit));
    press(Qt::Key_Tab, Qt::ControlModifier); // the task tab
    QTRY_COMPARE(other->tabs->currentIndex(), 1);
    QVERIFY(tabTo(other->taskGrid));
    const int kestrasRow = rowOf(other->taskGrid, "业务需求");
    QVERIFY(kestrasRow >= 0);
    arrowTo(other->taskGrid, kestrasRow);
    press(Qt::Key_Return);
    QTRY_COMPARE(other->taskPanel->completeButton->text(), "同意完成(&T)");
    press(Qt::Key_T, Qt::AltModifier);
    QTRY_COMPARE(other->taskPanel->completeButton->text(), "已完成任务");
    Dialogs::takeShown();

    // --- Statistics: Mareth's month holds the task, the month before not. ---
    press(Qt::Key_Tab, Qt::ControlModifier);
    QTRY_COMPARE(other->tabs->currentIndex(), 2);
    StatisticsTab *statistics = other->analysisTab;
    QCOMPARE(statistics->staffButtons.size(), 2); // the department's members
    QVERIFY(tabTo(statistics->staffButtons[0])); // nobody picked: the first
    QCOMPARE(statistics->staffButtons[0]->text(), "Mareth");
    press(Qt::Key_Space);
    QTRY_COMPARE(statistics->pickedMember(), "Mareth");
    const int thisMonth = QDate::currentDate().month();
    auto dispatchedCount = [statistics] { return statistics->countLabels[0]->text(); };
    QCOMPARE(statistics->pickedMonth(), thisMonth);
    QCOMPARE(dispatchedCount(), "1");
    QCOMPARE(statistics->countLabels[3]->text(), "1"); // completed
    QCOMPARE(statistics->taskGrid->model()->rowCount(), 1);
    press(Qt::Key_Tab); // the month picked
    QCOMPARE(focused(), statistics->monthButtons[thisMonth - 1]);
    press(thisMonth > 1 ? Qt::Key_Left : Qt::Key_Right);
    const int otherMonth = thisMonth > 1 ? thisMonth - 1 : 2;
    QTRY_COMPARE(statistics->pickedMonth(), otherMonth);
    QCOMPARE(focused(), statistics->monthButtons[otherMonth - 1]);
    QCOMPARE(dispatchedCount(), "0");
    QCOMPARE(statistics->taskGrid->model()->rowCount(), 0);

    // --- Export the project list: the file dialog answered through the seam. ---
    press(Qt::Key_Tab, Qt::ControlModifier); // round to the project tab
    QTRY_COMPARE(other->tabs->currentIndex(), 0);
    QTemporaryDir folder;
    const QString file = folder.filePath("项目.xlsx");
    Dialogs::setNextFileName(file);
    QVERIFY(tabTo(other->exportButton));
    press(Qt::Key_Return);
    QTRY_VERIFY(QFileInfo(file).size() > 0);
    boxes = Dialogs::takeShown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "输出 Excel 文件已完成...");
}

int main(int argc, char **argv) {
    return runUnderOpenbox<TestKeyboardDay>(argc, argv, kScreen, kPanel);
}

#include "TestKeyboardDay.moc"
