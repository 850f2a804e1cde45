// The project windows against a real server: the query tab, the export, the
// new project window and the project window with its progress sheet.

#include "ClientApp.h"
#include "projects/NewProjectWindow.h"
#include "projects/ProgressSheet.h"
#include "projects/ProjectQueryTab.h"
#include "projects/ProjectWindow.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "shell/MainWindow.h"
#include "support/CuttingProxy.h"
#include "support/ShellFixture.h"
#include "widgets/NamePicker.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QToolTip>
#include <QtTest>

namespace {

const QList<QStringList> kMembers = {
    {"tb58", "pw", "Mareth"}, {"kestra", "k", "Kestra"}, {"jorun", "j", "Jorun"}};
const QDateTime kNow(QDate(2026, 12, 10), QTime(10, 30, 45));

QString project(const QString &id, const QString &creator, const QString &performers,
                const QString &created, const QString &due, const QString &flag = "No",
                const QString &nodes = "") {
    return QString("Insert into Programe values('%1','华东','目标','内容','%2','%3','%4','%5','%6',"
                   "'0','%7')")
        .arg(id, creator, performers, created, due, flag, nodes);
}

QString task(const QString &projectId, const QString &content, const QString &performer,
             const QString &created, const QString &due, const QString &state) {
    return QString("Insert into Task values('%1','%2','Mareth','%3','%4','%5','%6','','','Kestra')")
        .arg(projectId, content, performer, created, due, state);
}

QStringList gridColumn(QTableView *grid, int column, int role = Qt::DisplayRole) {
    QStringList values;
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        values << grid->model()->index(row, column).data(role).toString();
    return values;
}

} // namespace

class TestProjects : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void queryTab_data();
    void queryTab();
    void gridColoursTitlesAndNoTyping();
    void doubleClickOpensTheProject();
    void exportWritesTheSheet();
    void exportFailures();

    void numbering();
    void createResetsAndWritesTheNotice();
    void createRefusals();
    void aLostAnswerIsReadBack_data();
    void aLostAnswerIsReadBack();
    void numberTakenMeanwhileGivesTheNextFreeOne();
    void performerCheckList();
    void updateReplacesTheProject();
    void refusedUpdatePutsTheOldRowBack();
    void editorKeepsTheProjectItEdits();

    void projectWindowFill();
    void longTextsShowWhole();
    void flowNodes();
    void completeAndDelete();
    void failedWritesSayWhatHappened();
    void changeOfAProjectGoneMeanwhileIsSaid_data();
    void changeOfAProjectGoneMeanwhileIsSaid();
    void writesTheTaskCountAsStored_data();
    void writesTheTaskCountAsStored();

private:
    void logIn(const QString &user, const QString &password);
    void openProject(const QString &id);
    QStringList dbColumn(const QString &sql);
    void dbExec(const QString &sql);
    QList<Dialogs::Shown> shown() { return Dialogs::takeShown(); }

    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
    MainWindow *main_ = nullptr;
    NewProjectWindow *editor_ = nullptr;
    ProjectWindow *window_ = nullptr;
    QTemporaryDir files_;
};

void TestProjects::init() {
    if (const QString why = ServerProcess::storageUnavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(fixture_.start(kMembers), qPrintable(fixture_.server().errorText()));
    AppClock::setFixed(kNow);
    app_ = std::make_unique<ClientApp>();
    main_ = app_->mainWindow;
    editor_ = app_->newProjectWindow;
    window_ = app_->projectWindow;
}

void TestProjects::cleanup() {
    app_.reset();
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestProjects::logIn(const QString &user, const QString &password) {
    QVERIFY(ShellFixture::logIn(*app_, user, password));
}

void TestProjects::openProject(const QString &id) {
    const QStringList ids = gridColumn(main_->projectGrid, 0);
    const int row = ids.indexOf(id);
    QVERIFY2(row >= 0, qPrintable(ids.join(',')));
    main_->projectGrid->setCurrentIndex(main_->projectGrid->model()->index(row, 0));
    main_->projectQuery->openCurrentProject();
    QVERIFY(window_->isVisible());
}

QStringList TestProjects::dbColumn(const QString &sql) {
    return fixture_.server().queryDatabaseFile(sql);
}

// Schema changes the server itself refuses to run, made on its file directly.
void TestProjects::dbExec(const QString &sql) {
    QVERIFY2(fixture_.server().execOnDatabaseFile(sql), qPrintable(sql));
}

void TestProjects::queryTab_data() {
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("everything, newest first")
        << "" << QStringList{"SW20261203001", "KF20261202001", "GD20261201001"};
    QTest::newRow("name,") << "Jorun," << QStringList{"SW20261203001", "GD20261201001"};
    QTest::newRow(",date") << "，2026-12-02" << QStringList{"SW20261203001", "KF20261202001"};
    QTest::newRow("name,date") << "Jorun,2026-12-02" << QStringList{"SW20261203001"};
    QTest::newRow("a blank after the comma")
        << "Jorun, 2026-12-02 " << QStringList{"SW20261203001"};
    QTest::newRow("no comma keeps the rows") << "Jorun" << QStringList{"KF20261202001"};
}

void TestProjects::queryTab() {
    QFETCH(QString, condition);
    QFETCH(QStringList, ids);
    for (const QString &sql : {project("GD20261201001", "Kestra", "Jorun|Kestra",
                                       "2026-12-01 09:00:00", "2026-12-20 09:00:00"),
                               project("KF20261202001", "Mareth", "Kestra", "2026-12-02 09:00:00",
                                       "2026-12-20 09:00:00"),
                               project("SW20261203001", "Kestra", "Jorun", "2026-12-03 09:00:00",
                                       "2026-12-20 09:00:00", "Yes")})
        QVERIFY(fixture_.exec(sql));
    logIn("tb58", "pw");
    QCOMPARE(gridColumn(main_->projectGrid, 0), QStringList{"KF20261202001"}); // own projects
    main_->queryEdit->setText(condition);
    main_->queryButton->click();
    QCOMPARE(gridColumn(main_->projectGrid, 0), ids);
    // The next reload lists the member's own projects again, the condition stays.
    main_->reload();
    QCOMPARE(gridColumn(main_->projectGrid, 0), QStringList{"KF20261202001"});
    QCOMPARE(main_->queryEdit->text(), condition);
}

void TestProjects::gridColoursTitlesAndNoTyping() {
    for (const QString &sql :
         {project("GD1", "Mareth", "", "2026-12-01 09:00:00", "2026-12-10 10:30:20"),
          project("GD2", "Mareth", "", "2026-12-01 09:00:00", "2026-12-10 10:30:00", "no"),
          project("GD3", "Mareth", "", "2026-12-01 09:00:00", "2026-12-01 10:00:00", "Yes"),
          project("GD4", "Mareth", "", "2026-12-01 09:00:00", "soon")})
        QVERIFY(fixture_.exec(sql));
    logIn("tb58", "pw");
    main_->queryButton->click();
    QTableView *grid = main_->projectGrid;
    const QStringList ids = gridColumn(grid, 0);
    auto colourOf = [&](const QString &id) {
        return grid->model()->index(ids.indexOf(id), 4).data(Qt::BackgroundRole).value<QColor>();
    };
    QCOMPARE(colourOf("GD1"), QColor(200, 100, 50)); // the seconds of now are dropped
    QCOMPARE(colourOf("GD2"), QColor(255, 50, 50));
    QCOMPARE(colourOf("GD3"), QColor(100, 200, 50));
    QCOMPARE(colourOf("GD4"), QColor(200, 100, 50)); // unreadable: painted as not yet due
    AppClock::setFixed(kNow.addSecs(15));            // 10:31:00
    QCOMPARE(colourOf("GD1"), QColor(255, 50, 50));

    QCOMPARE(grid->model()->headerData(7, Qt::Horizontal).toString(), "预完成时间");
    QCOMPARE(grid->model()->headerData(10, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignCenter));
    // At least as wide as designed, wider where this font needs it for a whole number.
    QVERIFY(grid->columnWidth(0) >= 90);
    QVERIFY(grid->columnWidth(10) >= 95);
    QVERIFY(grid->columnWidth(0) > grid->fontMetrics().horizontalAdvance("GD20261201001"));
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!(grid->model()->flags(grid->model()->index(0, 1)) & Qt::ItemIsEditable));
}

void TestProjects::doubleClickOpensTheProject() {
    QVERIFY(fixture_.exec(project("GD20261201001", "Mareth", " Kestra ", "2026-12-01 09:00:00",
                                  "2026-12-20 09:00:00", "No", "需求评审---Mareth")));
    logIn("tb58", "pw");
    openProject("GD20261201001");
    QCOMPARE(window_->project.performers, "Kestra"); // copied trimmed
    QCOMPARE(window_->performersLabel->text(), "Kestra");
    QVERIFY(!main_->isEnabled());
    window_->close();
    QVERIFY(main_->isEnabled());
}

void TestProjects::exportWritesTheSheet() {
    QVERIFY(fixture_.exec(project("GD20261201001", "Mareth", "Kestra", "2026-12-01 09:00:00",
                                  "2026-12-20 09:00:00")));
    QVERIFY(fixture_.exec(project("KF20261201001", "Mareth", "", "2026-12-01 08:00:00",
                                  "2026-12-20 09:00:00", "No", "节点---Mareth")));
    logIn("tb58", "pw");
    main_->queryButton->click(); // both, newest first
    // Typed without an extension, saved with one; the dialog starts in
    // Documents, or at home where there is none.
    Dialogs::setNextFileName(files_.filePath("projects"));
    main_->exportButton->click();
    QCOMPARE(Dialogs::takeFileFilters(), QStringList{"Excel 文件 (*.xlsx)"});
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QCOMPARE(Dialogs::takeFileFolders(),
             QStringList{QFileInfo(documents).isDir() ? documents : QDir::homePath()});
    const QString path = files_.filePath("projects.xlsx");
    QVERIFY(!QFile::exists(files_.filePath("projects")));
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "输出 Excel 文件已完成...");

    // Read back by a real reader: every cell as (row, column, text).
    QProcess reader;
    // Debian's own Python, which has openpyxl installed.
    reader.start("/usr/bin/python3",
                 {"-c",
                  "import sys, openpyxl\n"
                  "sheet = openpyxl.load_workbook(open(sys.argv[1], 'rb')).active\n"
                  "for row in sheet.iter_rows():\n"
                  "    for c in row:\n"
                  "        if c.value is not None:\n"
                  "            print(c.row, c.column, c.data_type, c.value, sep='\\t')\n",
                  path});
    QVERIFY(reader.waitForFinished(30000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QStringList cells =
        QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(!cells.contains(QRegularExpression("^1\t")), "row 1 stays empty");
    QVERIFY(cells.contains("2\t1\ts\tProId"));
    QVERIFY(cells.contains("2\t11\ts\tProList"));
    QVERIFY(cells.contains("3\t1\ts\tGD20261201001"));
    QVERIFY(cells.contains("3\t6\ts\tKestra"));
    QVERIFY(cells.contains("3\t10\ts\t0"));                   // numbers stay text
    QVERIFY(!cells.contains(QRegularExpression("^3\t11\t"))); // an empty value, an empty cell
    QVERIFY(cells.contains("4\t1\ts\tKF20261201001"));
    QVERIFY(!cells.contains(QRegularExpression("^4\t6\t")));
    QVERIFY(cells.contains("4\t11\ts\t节点---Mareth"));
    QCOMPARE(cells.size(), 11 + 10 + 10);
}

void TestProjects::exportFailures() {
    logIn("tb58", "pw");
    Dialogs::setNextFileName(QString()); // cancelled: nothing shown, nothing written
    main_->exportButton->click();
    QCOMPARE(shown().size(), 0);

    Dialogs::setNextFileName(files_.filePath("no such folder/projects.xlsx"));
    main_->exportButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "Excel系统出错！！！");
}

void TestProjects::numbering() {
    for (const char *id : {"GD20261210001", "GD20261210002", "GD20261210003", "GD20261209004"})
        QVERIFY(
            fixture_.exec(project(id, "Kestra", "", "2026-12-10 09:00:00", "2026-12-20 09:00:00")));
    logIn("tb58", "pw");
    main_->openNewProjectWindow();
    QCOMPARE(editor_->numberEdit->text(), NewProjectWindow::kNumberPlaceholder);
    editor_->kindButtons[1]->click();
    QCOMPARE(editor_->numberEdit->text(), "KF20261210001");
    editor_->kindButtons[0]->click();
    QCOMPARE(editor_->numberEdit->text(), "GD20261210004");
    editor_->numberEdit->setText("typed");
    editor_->kindButtons[0]->click(); // already chosen: nothing happens
    QCOMPARE(editor_->numberEdit->text(), "typed");

    // A deleted number lowers the count; the count's number is taken, the next free one is not.
    dbExec("delete from Programe where ProId='GD20261210002'");
    editor_->kindButtons[2]->click();
    editor_->kindButtons[0]->click();
    QCOMPARE(editor_->numberEdit->text(), "GD20261210004");
    editor_->close();
}

void TestProjects::createResetsAndWritesTheNotice() {
    logIn("kestra", "k");
    main_->openNewProjectWindow();
    QCOMPARE(editor_->saveButton->text(), "创建");
    QCOMPARE(editor_->windowTitle(), "创建新项目");
    QCOMPARE(editor_->performers->text(), "Kestra");
    editor_->kindButtons[2]->click();
    editor_->sourceEdit->setText(" 华东客户 ");
    editor_->aimEdit->setText("目标");
    editor_->contentEdit->setText("it's new");
    editor_->performers->setText("Jorun|Kestra");
    editor_->createTimeEdit->setDateTime(QDateTime(QDate(2026, 12, 10), QTime(9, 0, 5)));
    editor_->dueTimeEdit->setDateTime(QDateTime(QDate(2026, 12, 24), QTime(18, 0)));
    editor_->saveButton->click();

    QCOMPARE(dbColumn("select ProId||'/'||ProFrom||'/'||ProContent||'/'||ProDemander||'/'||"
                      "ProPerformer||'/'||ProCreateTime||'/'||ProCompleteTime||'/'||"
                      "ProCompleteFlag||'/'||ProTask||'/'||ProList from Programe"),
             QStringList{"SW20261210001/华东客户/it's new/Kestra/Jorun|Kestra/2026-12-10 09:00:05/"
                         "2026-12-24 18:00:00/No/0/"});
    QCOMPARE(dbColumn("select Content||'/'||Demander||'/'||Performer||'/'||CreateTime from Notice"),
             QStringList{"项目编号:SW20261210001项目内容:it's new已成功创建/Kestra/Jorun|Kestra/"
                         "2026-12-10 10:30:45"});
    // Ready for the next project; the main window lists the new one.
    QCOMPARE(editor_->numberEdit->text(), NewProjectWindow::kNumberPlaceholder);
    for (QRadioButton *kind : editor_->kindButtons)
        QVERIFY(!kind->isChecked());
    QVERIFY(editor_->sourceEdit->text().isEmpty());
    QCOMPARE(editor_->performers->text(), "Kestra");
    QCOMPARE(editor_->dueTimeEdit->dateTime(), kNow);
    QVERIFY(editor_->isVisible());
    QCOMPARE(gridColumn(main_->projectGrid, 0), QStringList{"SW20261210001"});
    QVERIFY(main_->noticePanel->toPlainText().contains("已成功创建"));
}

void TestProjects::aLostAnswerIsReadBack_data() {
    QTest::addColumn<bool>("carriedOut"); // the cut comes after the server's answer
    QTest::addColumn<int>("boxes");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("carried out") << true << 0 << QStringList{"SW20261210001/new"};
    QTest::newRow("never arrived") << false << 1 << QStringList{};
}

// The connection breaks around a new project: whether the server stored it
// is read back; a stored one carries on as created, one not stored can be
// created again, and neither ends up twice.
void TestProjects::aLostAnswerIsReadBack() {
    QFETCH(bool, carriedOut);
    QFETCH(int, boxes);
    QFETCH(QStringList, stored);
    CuttingProxy proxy(fixture_.server().port());
    QVERIFY(proxy.start());
    QSettings(fixture_.settingsPath(), QSettings::IniFormat).setValue("Server/Port", proxy.port());
    logIn("kestra", "k");
    main_->openNewProjectWindow();
    editor_->kindButtons[2]->click();
    editor_->contentEdit->setText("new");
    proxy.cutNext("Insert into Programe",
                  carriedOut ? CuttingProxy::Cut::AfterAnswer : CuttingProxy::Cut::BeforeRequest);
    editor_->saveButton->click();
    QCOMPARE(proxy.cuts(), 1);
    const auto told = shown();
    QCOMPARE(told.size(), boxes);
    if (boxes)
        QCOMPARE(told[0].text,
                 "添加项目出错！\r与服务器的连接中断，修改未保存，请再试一次。");
    const QString rows = "select ProId||'/'||ProContent from Programe";
    QCOMPARE(dbColumn(rows), stored);
    QCOMPARE(editor_->numberEdit->text() == NewProjectWindow::kNumberPlaceholder, carriedOut);
    if (!carriedOut) { // everything entered stays for one more press
        editor_->saveButton->click();
        QCOMPARE(dbColumn(rows), QStringList{"SW20261210001/new"});
    }
    QCOMPARE(dbColumn("select count(*) from Notice"), QStringList{"1"});
    editor_->close();
}

void TestProjects::createRefusals() {
    logIn("kestra", "k");
    main_->openNewProjectWindow();
    editor_->saveButton->click();
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "请先选择种类,以生成项目编号");
    QCOMPARE(boxes[0].caption, "创建新项目");
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);

    // A number that is not generated and already stored: refused, nothing changed.
    QVERIFY(
        fixture_.exec(project("X1", "Mareth", "", "2026-12-01 09:00:00", "2026-12-20 09:00:00")));
    editor_->numberEdit->setText("X1");
    editor_->contentEdit->setText("kept");
    editor_->saveButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    // The server's reason, in Chinese: the number is taken (in any letter case).
    QVERIFY2(boxes[0].text ==
                 "添加项目出错！\r服务器拒绝了此次请求，数据未改变。原因：该项目编号或任务已经存在。",
             qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].caption, "创建新项目/任务");
    QCOMPARE(editor_->contentEdit->text(), "kept");
    QCOMPARE(dbColumn("select count(*) from Notice"), QStringList{"0"});

    // The server gone: the member is told it cannot be reached, and where.
    editor_->numberEdit->setText("X2");
    const int port = fixture_.server().port();
    fixture_.stop();
    editor_->saveButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text,
             QString("添加项目出错！\r无法连接服务器（127.0.0.1:%1），请检查网络，或请管理员确认"
                     "服务器正在运行。")
                 .arg(port));
    QCOMPARE(boxes[0].caption, "创建新项目/任务");
    QCOMPARE(editor_->contentEdit->text(), "kept");
    editor_->close();
}

void TestProjects::numberTakenMeanwhileGivesTheNextFreeOne() {
    logIn("kestra", "k");
    main_->openNewProjectWindow();
    editor_->kindButtons[0]->click();
    QCOMPARE(editor_->numberEdit->text(), "GD20261210001");
    // Another member creates that number first.
    QVERIFY(fixture_.exec(
        project("GD20261210001", "Mareth", "", "2026-12-10 09:00:00", "2026-12-20 09:00:00")));
    editor_->contentEdit->setText("mine");
    editor_->saveButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains("GD20261210002"), qPrintable(boxes[0].text));
    QCOMPARE(editor_->numberEdit->text(), "GD20261210002");
    QCOMPARE(editor_->contentEdit->text(), "mine");
    editor_->saveButton->click();
    QCOMPARE(dbColumn("select ProContent from Programe where ProId='GD20261210002'"),
             QStringList{"mine"});
}

void TestProjects::performerCheckList() {
    logIn("kestra", "k");
    main_->openNewProjectWindow();
    QListWidget *list = editor_->performers->list;
    QCOMPARE(list->count(), 3);
    QStringList ticked;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            ticked << list->item(i)->text();
    QCOMPARE(ticked, QStringList{"Kestra"});

    QVERIFY(!list->isVisible());
    editor_->performers->field->showPopup(); // the drop-down shows the check list instead
    QVERIFY(list->isVisible());
    list->item(2)->setCheckState(Qt::Checked); // Jorun, then Mareth: list order wins
    list->item(0)->setCheckState(Qt::Checked);
    QCOMPARE(editor_->performers->text(), "Mareth|Kestra|Jorun");
    editor_->performers->toggleAll(); // all ticked: untick all
    QCOMPARE(editor_->performers->text(), "");
    editor_->performers->toggleAll();
    QCOMPARE(editor_->performers->text(), "Mareth|Kestra|Jorun");
    editor_->performers->field->showPopup();
    QVERIFY(!list->isVisible());
    editor_->close();
}

void TestProjects::updateReplacesTheProject() {
    QVERIFY(fixture_.exec(project("GD20261201001", "Mareth", "Kestra", "2026-12-01 09:00:00",
                                  "2026-12-20 09:00:00", "Yes", "a---Mareth")));
    QVERIFY(fixture_.exec("update Programe Set ProTask='3' where ProId='GD20261201001'"));
    logIn("kestra", "k"); // not privileged: the due time stays
    main_->queryButton->click();
    openProject("GD20261201001");
    window_->reeditButton->click();
    QVERIFY(editor_->isVisible());
    QCOMPARE(editor_->saveButton->text(), "更新");
    QCOMPARE(editor_->windowTitle(), "修改项目信息");
    QCOMPARE(editor_->numberEdit->text(), "GD20261201001");
    QVERIFY(editor_->kindButtons[0]->isChecked());
    QVERIFY(!editor_->dueTimeEdit->isEnabled());
    editor_->contentEdit->setText("新内容");
    editor_->numberEdit->setText("ignored");
    editor_->saveButton->click();
    QCOMPARE(dbColumn("select ProId||'/'||ProContent||'/'||ProDemander||'/'||ProCompleteFlag||'/'"
                      "||ProTask||'/'||ProList from Programe"),
             QStringList{"GD20261201001/新内容/Mareth/No/0/a---Mareth"});
    QCOMPARE(editor_->saveButton->text(), "更新");     // stays in update mode
    QCOMPARE(window_->contentLabel->text(), "新内容"); // the project window follows
    QVERIFY(dbColumn("select Content from Notice")
                .contains("项目编号:GD20261201001项目内容:新内容已成功更新"));

    // The fields are reset: a second press has no project to rewrite from them.
    QCOMPARE(editor_->contentEdit->text(), "");
    editor_->saveButton->click();
    QCOMPARE(dbColumn("select ProId||'/'||ProContent||'/'||ProDemander||'/'||ProCompleteFlag||'/'"
                      "||ProTask||'/'||ProList from Programe"),
             QStringList{"GD20261201001/新内容/Mareth/No/0/a---Mareth"});
    QCOMPARE(dbColumn("select count(*) from Notice"), QStringList{"1"});
    QCOMPARE(window_->contentLabel->text(), "新内容");

    // Opened from the menu, the window is back in create mode.
    editor_->close();
    window_->close();
    main_->openNewProjectWindow();
    QCOMPARE(editor_->saveButton->text(), "创建");
    QVERIFY(editor_->dueTimeEdit->isEnabled());
    editor_->close();
}

void TestProjects::refusedUpdatePutsTheOldRowBack() {
    QVERIFY(fixture_.exec(project("GD20261201001", "Mareth", "Kestra", "2026-12-01 09:00:00",
                                  "2026-12-20 09:00:00")));
    QVERIFY(fixture_.server().refuseChanges("Programe", "insert", "new.ProAim='refuse'"));
    logIn("tb58", "pw");
    openProject("GD20261201001");
    window_->reeditButton->click();
    editor_->aimEdit->setText("refuse");
    editor_->saveButton->click();
    const auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.startsWith("更新项目出错！"));
    QCOMPARE(boxes[0].caption, "更新新项目/任务");
    QCOMPARE(dbColumn("select ProId||'/'||ProAim||'/'||ProPerformer from Programe"),
             QStringList{"GD20261201001/目标/Kestra"});
    QCOMPARE(window_->project.aim, "目标");
    QCOMPARE(editor_->aimEdit->text(), "refuse"); // what was entered stays
    QCOMPARE(dbColumn("select count(*) from Notice"), QStringList{"0"});
}

void TestProjects::editorKeepsTheProjectItEdits() {
    QVERIFY(fixture_.exec(
        project("GD1", "Mareth", "Kestra", "2026-12-01 09:00:00", "2026-12-20 09:00:00")));
    QVERIFY(fixture_.exec(
        project("GD2", "Mareth", "Jorun", "2026-12-02 09:00:00", "2026-12-21 09:00:00")));
    logIn("tb58", "pw");
    openProject("GD1");
    window_->reeditButton->click();
    QCOMPARE(editor_->numberEdit->text(), "GD1");
    window_->close();

    // The project window shows GD2 meanwhile; "更新" still replaces GD1.
    openProject("GD2");
    editor_->contentEdit->setText("GD1的新内容");
    editor_->saveButton->click();
    QCOMPARE(dbColumn("select ProId||'/'||ProContent||'/'||ProPerformer from Programe "
                      "order by ProId"),
             (QStringList{"GD1/GD1的新内容/Kestra", "GD2/内容/Jorun"}));
    QCOMPARE(window_->project.id, "GD2");
    QCOMPARE(window_->contentLabel->text(), "内容");
    QCOMPARE(window_->performersLabel->text(), "Jorun");
    editor_->close();
    window_->close();
}

// Long texts can be read whole: the content wraps in the project window, a
// cut cell shows its text in a tooltip, and the progress sheet's names and
// state words fit their columns.
void TestProjects::longTextsShowWhole() {
    const QString content = QString("商场外墙两块55寸屏安装，").repeated(6);
    QVERIFY(fixture_.exec(
        project("GD20261201001", "Mareth", "Kestra", "2026-12-01 09:00:00", "2026-12-20 09:00:00")
            .replace("'内容'", "'" + content + "'")));
    logIn("tb58", "pw");
    main_->show();
    QTableView *grid = main_->projectGrid;
    QVERIFY(QTest::qWaitForWindowExposed(grid));
    const QRect cell = grid->visualRect(grid->model()->index(0, 3));
    QHelpEvent hover(QEvent::ToolTip, cell.center(), grid->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(grid->viewport(), &hover);
    QTRY_COMPARE(QToolTip::text(), content);
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());
    const QRect number = grid->visualRect(grid->model()->index(0, 0));
    QHelpEvent whole(QEvent::ToolTip, number.center(),
                     grid->viewport()->mapToGlobal(number.center()));
    QApplication::sendEvent(grid->viewport(), &whole);
    QVERIFY(!QToolTip::isVisible()); // the number is not cut: no tooltip

    openProject("GD20261201001");
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    QLabel *shown = window_->contentLabel;
    QCOMPARE(shown->text(), content);
    QVERIFY(shown->fontMetrics().horizontalAdvance(content) > shown->width()); // on several lines
    QVERIFY(shown->height() >= shown->heightForWidth(shown->width()));

    ProgressSheet *progress = window_->progressGrid;
    for (int column = 1; column < ProgressSheet::kColumns; ++column)
        for (const QString &text : {progress->textAt(0, column), QString("已完成")})
            QVERIFY2(progress->columnWidth(column) >
                         progress->fontMetrics().horizontalAdvance(text),
                     qPrintable(text));
    window_->close();
    main_->hide();
}

void TestProjects::projectWindowFill() {
    QVERIFY(fixture_.exec(project("XKF20261201001", "Mareth", "Kestra|Jorun", "2026-12-01 09:00:00",
                                  "2026-12-10 10:30:20", "No", "a---P|b  c---Q")));
    for (int i = 0; i < 20; ++i)
        QVERIFY(fixture_.exec(task("XKF20261201001", QString("t%1").arg(i, 2, 10, QChar('0')),
                                   i == 0 ? "Jorun" : (i == 1 ? "Kestra|Jorun" : ""),
                                   QString("2026-12-01 09:%1:00").arg(i, 2, 10, QChar('0')),
                                   i == 1 ? "2026-12-10 10:30:00" : "2026-12-11 10:00:00",
                                   i == 2 ? "1" : "0")));
    QVERIFY(fixture_.exec("update Programe Set ProTask='99'"));
    logIn("tb58", "pw");
    openProject("XKF20261201001");
    QCOMPARE(window_->numberLabel->text(), "XKF20261201001");
    QVERIFY(window_->kindButtons[1]->isChecked()); // "KF" inside the number
    QCOMPARE(window_->numberLabel->palette().color(QPalette::WindowText), QColor(200, 100, 50));
    QCOMPARE(window_->taskCountLabel->text(), "此项目共有20条派送任务。");
    QCOMPARE(dbColumn("select ProTask from Programe"), QStringList{"20"});
    QCOMPARE(window_->completeButton->text(), "完成");
    QVERIFY(window_->completeButton->isEnabled()); // the creator, while open
    QCOMPARE(window_->flowNodeBox->toPlainText(), "a---P\nb  c---Q");
    QCOMPARE(window_->taskGrid->model()->rowCount(), 20);
    QCOMPARE(window_->taskGrid->model()->headerData(5, Qt::Horizontal).toString(), "需求时间");

    ProgressSheet *progress = window_->progressGrid;
    QCOMPARE(progress->textAt(0, 0), "   任务名/经办人");
    QCOMPARE(progress->textAt(0, 11), "Jorun");
    QCOMPARE(progress->textAt(1, 0), "t00");
    QCOMPARE(progress->textAt(1, 11), "未完成");
    QCOMPARE(progress->textAt(2, 2), "延误中"); // Kestra and Jorun both marked
    QCOMPARE(progress->textAt(2, 11), "延误中");
    QCOMPARE(progress->textAt(3, 1), ""); // not claimed: the text only
    QCOMPARE(progress->textAt(19, 0), "t18");
    QCOMPARE(progress->model()->rowCount(), 20); // the 20th task is not shown

    // The pointer over the button swaps its caption on every move.
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(window_->completeButton, &move);
    QCoreApplication::sendEvent(window_->completeButton, &move);
    QCOMPARE(window_->completeButton->text(), "完成");
    QCoreApplication::sendEvent(window_->completeButton, &move);
    QCOMPARE(window_->completeButton->text(), "删除项目");
    window_->close();

    // Another member's project: the button stays disabled; a project without
    // tasks shows an empty sheet after one with tasks.
    QVERIFY(fixture_.exec(
        project("GD2", "Kestra", "Mareth", "2026-12-01 09:00:00", "2026-12-20 09:00:00")));
    main_->reload();
    openProject("GD2");
    QVERIFY(!window_->completeButton->isEnabled());
    QCOMPARE(window_->completeButton->text(), "删除项目");
    QCOMPARE(progress->textAt(1, 0), "");
    QCOMPARE(progress->textAt(1, 11), "");
}

void TestProjects::flowNodes() {
    QVERIFY(fixture_.exec(
        project("GD1", "Kestra", "Mareth", "2026-12-01 09:00:00", "2026-12-20 09:00:00")));
    logIn("tb58", "pw");
    openProject("GD1");
    QCOMPARE(window_->nodeEdit->text(), "“请在此处发布该项目/任务流程节点”");
    window_->nodeEdit->setText(" 需求评审 ");
    window_->addNodeButton->click();
    QCOMPARE(dbColumn("select ProList from Programe"), QStringList{"需求评审---Mareth"});
    QCOMPARE(dbColumn("select count(*) from Notice"), QStringList{"0"}); // the first writes none
    QVERIFY(window_->nodeEdit->text().isEmpty());
    window_->nodeEdit->setText("技术评估");
    window_->addNodeButton->click();
    QCOMPARE(dbColumn("select ProList from Programe"),
             QStringList{"需求评审---Mareth|技术评估---Mareth"});
    QCOMPARE(window_->flowNodeBox->toPlainText(), "需求评审---Mareth\n技术评估---Mareth");
    QCOMPARE(dbColumn("select Content||'/'||Demander||'/'||Performer from Notice"),
             QStringList{"项目编号:GD1 添加了新的节点信息！/Mareth/Mareth"});
}

void TestProjects::completeAndDelete() {
    QVERIFY(fixture_.exec(
        project("GD1", "Mareth", "Kestra", "2026-12-01 09:00:00", "2026-12-20 09:00:00")));
    QVERIFY(fixture_.exec(
        project("GD2", "Mareth", "Kestra", "2026-12-01 09:00:00", "2026-12-20 09:00:00")));
    QVERIFY(fixture_.exec(
        task("GD1", "a", "Kestra", "2026-12-01 09:00:00", "2026-12-20 09:00:00", "2")));
    QVERIFY(fixture_.exec(
        task("GD1", "b", "Kestra", "2026-12-01 09:00:00", "2026-12-20 09:00:00", "1")));
    logIn("tb58", "pw");
    openProject("GD1");
    window_->setCompleteAction(ProjectWindow::CompleteAction::Delete);
    window_->completeButton->click();
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "该项目已存在派发任务，无法删除");
    window_->setCompleteAction(ProjectWindow::CompleteAction::Complete);
    window_->completeButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, "完成项目/任务");

    QVERIFY(fixture_.exec("update Task Set TaskCompleteFlag='2' where TaskId='GD1'"));
    window_->refill();
    Dialogs::setNextAnswer(QMessageBox::Cancel);
    window_->completeButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, "项目编号:GD1\r项目内容:内容\r确认该项目提交完成？");
    QCOMPARE(boxes[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(dbColumn("select ProCompleteFlag from Programe where ProId='GD1'"), QStringList{"No"});
    Dialogs::setNextAnswer(QMessageBox::Ok);
    window_->completeButton->click();
    QCOMPARE(shown().size(), 1);
    QCOMPARE(dbColumn("select ProCompleteFlag from Programe where ProId='GD1'"),
             QStringList{"Yes"});
    QVERIFY(dbColumn("select Content from Notice").contains("项目编号:GD1 已成功完成！"));
    // Re-filled: completed colour, button disabled.
    QVERIFY(!window_->completeButton->isEnabled());
    QCOMPARE(window_->numberLabel->palette().color(QPalette::WindowText), QColor(100, 200, 50));
    window_->close();

    // A project without tasks can be deleted, once the member says so; the
    // window goes with it.
    openProject("GD2");
    QCOMPARE(window_->completeButton->text(), "删除项目");
    Dialogs::setNextAnswer(QMessageBox::No);
    window_->completeButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, "删除项目");
    QVERIFY2(boxes[0].text.contains("GD2"), qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(dbColumn("select count(*) from Programe where ProId='GD2'"), QStringList{"1"});
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->completeButton->text(), "删除项目");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    window_->completeButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[1].text, "已成功删除该项目");
    QCOMPARE(boxes[1].icon, QMessageBox::Information);
    QCOMPARE(dbColumn("select count(*) from Programe where ProId='GD2'"), QStringList{"0"});
    QVERIFY(
        dbColumn("select Content from Notice").contains("项目编号:GD2 已由项目/任务创建人删除"));
    QVERIFY(!window_->isVisible());
    QVERIFY(main_->isEnabled());
    QVERIFY(!gridColumn(main_->projectGrid, 0).contains("GD2"));
}

void TestProjects::failedWritesSayWhatHappened() {
    QVERIFY(fixture_.exec(project("GD1", "Mareth", "Kestra", "2026-12-01 09:00:00",
                                  "2026-12-20 09:00:00", "No", "a---Mareth")));
    QVERIFY(fixture_.server().refuseChanges("Programe", "delete"));
    QVERIFY(fixture_.server().refuseChanges("Programe", "update of ProCompleteFlag, ProList"));
    logIn("tb58", "pw");
    openProject("GD1");

    window_->nodeEdit->setText("b");
    window_->addNodeButton->click();
    auto boxes = shown();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.startsWith("添加节点出错！\r服务器拒绝了此次请求，数据未改变。原因："), qPrintable(boxes[0].text));
    QCOMPARE(window_->project.flowNodes, "a---Mareth");
    QCOMPARE(window_->flowNodeBox->toPlainText(), "a---Mareth");
    QCOMPARE(window_->nodeEdit->text(), "b"); // kept for another try

    Dialogs::setNextAnswer(QMessageBox::Ok);
    window_->setCompleteAction(ProjectWindow::CompleteAction::Complete);
    window_->completeButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes[1].text.startsWith("完成项目出错！\r服务器拒绝了此次请求，数据未改变。原因："), qPrintable(boxes[1].text));
    QCOMPARE(window_->project.completeFlag, "No");

    window_->setCompleteAction(ProjectWindow::CompleteAction::Delete);
    Dialogs::setNextAnswer(QMessageBox::Yes);
    window_->completeButton->click();
    boxes = shown();
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes[1].text.startsWith("删除项目出错！\r服务器拒绝了此次请求，数据未改变。原因："), qPrintable(boxes[1].text));
    QCOMPARE(boxes[1].icon, QMessageBox::Critical);
    QVERIFY(window_->isVisible());
    QCOMPARE(dbColumn("select count(*) from Notice"), QStringList{"0"});
    window_->close();
}

void TestProjects::changeOfAProjectGoneMeanwhileIsSaid_data() {
    QTest::addColumn<bool>("complete"); // or add a flow node
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<bool>("gone");
    const QString deleted = "delete from Programe where ProId='GD1'";
    const QString rekeyed = "update Programe set ProId='GD9' where ProId='GD1'";
    const QString changed = "update Programe set ProFrom='华北' where ProId='GD1'";
    QTest::newRow("node, deleted") << false << deleted << true;
    QTest::newRow("node, re-keyed") << false << rekeyed << true;
    QTest::newRow("node, changed") << false << changed << false;
    QTest::newRow("complete, deleted") << true << deleted << true;
    QTest::newRow("complete, re-keyed") << true << rekeyed << true;
}

// Another member deleted, re-keyed or changed the project after it was opened:
// the change touches no row, the member is told so, no notice is written, and
// the window shows what is stored now.
void TestProjects::changeOfAProjectGoneMeanwhileIsSaid() {
    QFETCH(bool, complete);
    QFETCH(QString, meanwhile);
    QFETCH(bool, gone);
    QVERIFY(fixture_.exec(project("GD1", "Mareth", "Kestra", "2026-12-01 09:00:00",
                                  "2026-12-20 09:00:00", "No", "a---Mareth")));
    logIn("tb58", "pw");
    openProject("GD1");
    QVERIFY(fixture_.exec(meanwhile));
    if (complete) {
        Dialogs::setNextAnswer(QMessageBox::Ok);
        window_->setCompleteAction(ProjectWindow::CompleteAction::Complete);
        window_->completeButton->click();
    } else {
        window_->nodeEdit->setText("b");
        window_->addNodeButton->click();
    }
    const auto boxes = shown();
    QCOMPARE(boxes.size(), complete ? 2 : 1);
    QVERIFY2(boxes.last().text.contains("该项目已被他人修改或删除，数据未改变。"),
             qPrintable(boxes.last().text));
    QCOMPARE(dbColumn("select count(*) from Notice"), QStringList{"0"});
    QCOMPARE(dbColumn("select count(*) from Programe where ProCompleteFlag='Yes' or ProList "
                      "like '%b---%'"),
             QStringList{"0"});
    QCOMPARE(window_->addNodeButton->isEnabled(), !gone);
    QCOMPARE(window_->completeButton->isEnabled(), !gone);
    QCOMPARE(window_->reeditButton->isEnabled(), !gone);
    QCOMPARE(window_->dispatchButton->isEnabled(), !gone);
    if (gone)
        QCOMPARE(window_->addNodeButton->toolTip(), "该项目已被他人删除或修改了项目编号。");
    else
        QCOMPARE(window_->sourceLabel->text(), "华北");
    window_->close();
}

void TestProjects::writesTheTaskCountAsStored_data() {
    QTest::addColumn<bool>("complete"); // or add a flow node
    QTest::newRow("adding a flow node") << false;
    QTest::newRow("completing the project") << true;
}

void TestProjects::writesTheTaskCountAsStored() {
    QFETCH(bool, complete);
    QVERIFY(fixture_.exec(project("GD1", "Mareth", "Kestra", "2026-12-01 09:00:00",
                                  "2026-12-20 09:00:00", "No", "a---Mareth")));
    logIn("tb58", "pw");
    openProject("GD1");
    QCOMPARE(dbColumn("select ProTask from Programe"), QStringList{"0"});
    // Another member dispatches (and the task is done) while the window is open.
    QVERIFY(fixture_.exec(
        task("GD1", "a", "Kestra", "2026-12-01 09:00:00", "2026-12-20 09:00:00", "2")));
    QVERIFY(fixture_.exec("update Programe Set ProTask='1'"));
    // A write that would put another count in place is refused, so that the
    // window's next fill cannot cover it up.
    QVERIFY(fixture_.server().refuseChanges("Programe", "update of ProTask",
                                            "new.ProTask <> old.ProTask"));
    if (complete) {
        Dialogs::setNextAnswer(QMessageBox::Ok);
        window_->setCompleteAction(ProjectWindow::CompleteAction::Complete);
        window_->completeButton->click();
        QCOMPARE(dbColumn("select ProCompleteFlag from Programe"), QStringList{"Yes"});
    } else {
        window_->nodeEdit->setText("b");
        window_->addNodeButton->click();
        QCOMPARE(dbColumn("select ProList from Programe"), QStringList{"a---Mareth|b---Mareth"});
    }
    QCOMPARE(shown().size(), complete ? 1 : 0);
    QCOMPARE(dbColumn("select ProTask from Programe"), QStringList{"1"});
    window_->close();
}

QTEST_MAIN(TestProjects)
#include "TestProjects.moc"
