#include "TForm1.h"

#include "AppClock.h"
#include "CSupports.h"
#include "ChildWindow.h"
#include "ErrorGuard.h"
#include "NoticeBoard.h"
#include "RecordSetModel.h"
#include "WindowConventions.h"
#include "utTimer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>

namespace {

QLabel *label(const QString &text, QWidget *parent, int left, int top) {
    auto *l = new QLabel(text, parent);
    l->move(left, top);
    return l;
}

QTableView *grid(QWidget *parent, QAbstractItemModel *model, const QRect &where) {
    auto *view = new QTableView(parent);
    view->setModel(model);
    view->setGeometry(where);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    view->verticalHeader()->setDefaultSectionSize(20);
    return view;
}

} // namespace

TForm1::TForm1(QWidget *parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Solvane项目管理平台"));
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);

    ProDataSet = new RecordSet(this);
    TaskDataSet = new RecordSet(this);
    NoticeDataSet = new RecordSet(this);
    DataSet = new RecordSet(this);
    proModel_ = new RecordSetModel(ProDataSet, this);
    taskModel_ = new RecordSetModel(TaskDataSet, this);
    dataModel_ = new RecordSetModel(DataSet, this);

    auto *menu = menuBar();
    N1 = menu->addAction(QStringLiteral("添加项目(A)"), this, &TForm1::N1Click);
    N2 = menu->addAction(QStringLiteral("成员管理(U)"), this, &TForm1::N2Click);

    auto *client = new QWidget(this);
    setCentralWidget(client);
    mPage = new QTabWidget(client);
    mPage->setGeometry(8, 8, 920, 458);
    buildProjectTab();
    buildTaskTab();
    buildAnalysisTab();
    FormCreate();
}

TForm1::~TForm1() {
    // The timer goes first, so no tick can reach a window being torn down.
    delete Timer;
    Timer = nullptr;
    SetActiveGateway(nullptr);
}

void TForm1::buildProjectTab() {
    ProTab = new QWidget;
    mPage->addTab(ProTab, QStringLiteral("项目查询"));
    label(QStringLiteral("查询条件："), ProTab, 16, 14);
    Edit1 = new QLineEdit(ProTab);
    Edit1->setGeometry(82, 12, 592, 21);
    nSelect = new QPushButton(QStringLiteral("查询"), ProTab);
    nSelect->setGeometry(704, 10, 73, 25);
    Button1 = new QPushButton(QStringLiteral("导出Excel"), ProTab);
    Button1->setGeometry(803, 10, 75, 25);
    ProGrid = grid(ProTab, proModel_, QRect(3, 41, 906, 248));
    NoticeEdit = new QTextEdit(ProTab);
    NoticeEdit->setReadOnly(true);
    NoticeEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    NoticeEdit->setGeometry(3, 293, 906, 134);
}

void TForm1::buildTaskTab() {
    TaskTab = new QWidget;
    mPage->addTab(TaskTab, QStringLiteral("任务查询"));
    TaskGurid = grid(TaskTab, taskModel_, QRect(3, 3, 906, 158));
    TaskGurid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    label(QStringLiteral("立项编号："), TaskTab, 16, 172);
    label(QStringLiteral("执行人阅读时间："), TaskTab, 460, 172);
    label(QStringLiteral("派  发  人："), TaskTab, 16, 196);
    label(QStringLiteral("执  行  人："), TaskTab, 460, 196);
    label(QStringLiteral("任务内容："), TaskTab, 16, 220);
    label(QStringLiteral("创建时间："), TaskTab, 16, 330);
    label(QStringLiteral("完成时间："), TaskTab, 460, 330);
    Label7 = label(QStringLiteral("任务完成情况说明："), TaskTab, 460, 220);
    nApply = new QPushButton(QStringLiteral("申请完成"), TaskTab);
    nApply->setGeometry(560, 395, 75, 25);
    nComplete = new QPushButton(QStringLiteral("同意完成"), TaskTab);
    nComplete->setGeometry(660, 395, 75, 25);
    nUpdata = new QPushButton(QStringLiteral("重新编辑"), TaskTab);
    nUpdata->setGeometry(760, 395, 75, 25);
}

void TForm1::buildAnalysisTab() {
    // Kept without behaviour: the choices select nothing and the grid stays empty.
    AnalysisTab = new QWidget;
    mPage->addTab(AnalysisTab, QStringLiteral("统计分析"));
    auto *people = new QGroupBox(AnalysisTab);
    people->setGeometry(3, 3, 80, 420);
    const char *names[] = {"Aldren", "Berric", "Calwen", "Dorvan", "Elsken",
                           "Fennick", "Gessa", "Halvic", "Ivrel", "Jorun"};
    for (int i = 0; i < 10; ++i)
        (new QRadioButton(QString::fromLatin1(names[i]), people))->move(8, 32 + 40 * i);
    auto *months = new QGroupBox(AnalysisTab);
    months->setGeometry(87, 3, 822, 48);
    const QStringList monthNames = {"一月", "二月", "三月", "四月", "五月", "六月",
                                    "七月", "八月", "九月", "十月", "十一月", "十二月"};
    for (int i = 0; i < monthNames.size(); ++i)
        (new QRadioButton(monthNames[i], months))->move(8 + 67 * i, 18);
    DataGrid = grid(AnalysisTab, dataModel_, QRect(87, 55, 822, 346));
}

void TForm1::FormCreate() {
    WindowConventions::fixSize(this, kWidth, kHeight);
    WindowConventions::centreOnScreen(this, kWidth, kHeight);
    Label7->setText(QStringLiteral("任务完成\r情况说明:"));
    mPage->setCurrentWidget(ProTab);
    WindowConventions::clearInputMethodHints(this);
}

void TForm1::setMenuWindows(ChildWindow *newProject, ChildWindow *members) {
    newProjectWindow_ = newProject;
    membersWindow_ = members;
}

void TForm1::setMember(const TLogininf &member) {
    mLogininf = member;
    hasMember_ = true;
}

void TForm1::FormInit() {
    mSQLCon.open();
    if (!mClient) {
        mClient = std::make_unique<TZelServerDataBaseClient>(&mSQLCon);
        SetActiveGateway(mClient.get());
    }
    if (!Timer)
        Timer = new TTarnelTimer(this);
    Timer->SetTimeInterval(kReminderIntervalMs);
    Timer->SetOnTimerDo([this](QObject *sender) { TimerShow(sender); });

    // Before the login has found the member there is nobody to list for: an
    // empty name would match every open project and every task.
    if (!hasMember_)
        return;
    ProDataSet->load(SelectPro(mLogininf.Remark, mLogininf.Remark));
    TaskDataSet->load(SelectTask(mLogininf.Remark, mLogininf.Remark));
    nUpdata->setEnabled(false);
}

void TForm1::FormNotice() {
    if (!mClient)
        throw std::runtime_error("The connection to the application server is not open");
    NoticeDataSet->load(mClient->OpenSQL(NoticeBoard::panelStatement(AppClock::now())));
    if (NoticeDataSet->recordCount() > 0)
        NoticeBoard::fillPanel(NoticeEdit->document(), *NoticeDataSet, mLogininf.Remark);
    Timer->SetEnable(true);
}

void TForm1::TimerShow(QObject * /*Sender*/) {
    // The panel is refreshed whatever happened to the counts; a failure of the
    // counts is passed on after it, leaving the title as far as it got.
    std::exception_ptr failure;
    try {
        RecordSet counted;
        counted.load(mClient->OpenSQL(NoticeBoard::projectCountStatement(mLogininf.Remark)));
        setWindowTitle(NoticeBoard::titleWithProjects(counted.recordCount()));
        counted.load(mClient->OpenSQL(NoticeBoard::taskCountStatement(mLogininf.Remark)));
        setWindowTitle(windowTitle() + NoticeBoard::taskCountSuffix(counted.recordCount()));
    } catch (...) {
        failure = std::current_exception();
    }
    FormNotice();
    if (failure)
        std::rethrow_exception(failure);
}

void TForm1::openChild(ChildWindow *child) {
    if (!child)
        return;
    setEnabled(false);
    try {
        child->FormInit();
    } catch (...) {
        // Never leave the member with a main window that takes no input.
        setEnabled(true);
        throw;
    }
    child->setEnablesOnClose(this);
    child->show();
}

void TForm1::N1Click() {
    guarded([this] { openChild(newProjectWindow_); });
}

void TForm1::N2Click() {
    guarded([this] { openChild(membersWindow_); });
}

void TForm1::closeEvent(QCloseEvent *event) {
    event->accept();
    QApplication::quit();
}
