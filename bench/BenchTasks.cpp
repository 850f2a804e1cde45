// The task windows on the busy department's database. A member with some
// 3,000 tasks scrolls the task tab through: the painting with the row colours
// against the same grid without them. And a dispatch, from the click on "派发"
// to refreshed windows, against the statements it sends, through the gateway
// alone.

#include "ClientApp.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/records/RecordSet.h"
#include "data/records/RecordSetModel.h"
#include "data/statements/Statements.h"
#include "data/statements/TimeText.h"
#include "harness/BenchClient.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "notices/NoticeBoard.h"
#include "projects/ProjectQueryTab.h"
#include "projects/ProjectWindow.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "tasks/TaskDispatchWindow.h"
#include "tasks/TaskGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using BenchClient::Clock;
using BenchClient::median;
using BenchClient::since;

// Paints the grid page by page from the first row to the last, as a member
// scrolling it through would see it; the milliseconds it took.
double scrollThrough(QTableView &grid, RecordSet &tasks, const PDataPacket &rows) {
    tasks.load(rows); // colours are computed afresh after a reload
    QImage canvas(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar *bar = grid.verticalScrollBar();
    const auto start = Clock::now();
    for (int value = bar->minimum();; value += bar->pageStep()) {
        bar->setValue(std::min(value, bar->maximum()));
        grid.viewport()->render(&canvas);
        if (value >= bar->maximum())
            break;
    }
    return since(start);
}

} // namespace

int run(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int repeats = argc > 1 ? std::max(5, atoi(argv[1])) : 20;

    QTemporaryDir dir;
    ServerProcess server;
    if (!BenchClient::startBusyDepartment(dir, server))
        return 1;
    const QString name = BenchDatabase::memberName(7);

    // The grids: the main window's task grid, and the same grid uncoloured.
    ServerConnection connection;
    connection.setPort(server.port());
    connection.setCredentials(BenchDatabase::loginName(7), "pw");
    connection.open();
    AppServerGateway gateway(&connection);
    const PDataPacket rows = gateway.openSql(Statements::selectMemberTasks(name, name));
    RecordSet coloured, plain;
    RecordSetModel colouredModel(&coloured), plainModel(&plain);
    QTableView colouredGrid, plainGrid;
    colouredGrid.setModel(&colouredModel);
    plainGrid.setModel(&plainModel);
    TaskGrid::style(
        &colouredGrid, &colouredModel, [name] { return name; }, TaskGrid::kMainNeutral);
    TaskGrid::style(
        &plainGrid, &plainModel, [name] { return name; }, TaskGrid::kMainNeutral);
    plainModel.setRowBackground({});
    for (QTableView *grid : {&colouredGrid, &plainGrid}) {
        grid->resize(906, 158);
        grid->verticalHeader()->setDefaultSectionSize(20);
        grid->show();
    }
    std::vector<double> colouredMs, plainMs;
    for (int i = 0; i < repeats; ++i) { // alternating, so both see the same machine
        colouredMs.push_back(scrollThrough(colouredGrid, coloured, rows));
        plainMs.push_back(scrollThrough(plainGrid, plain, rows));
    }
    const int taskRows = coloured.recordCount();

    // A dispatch by the creator of a project, from its project window.
    ClientApp client;
    client.loginWindow->userNameEdit->setText(BenchDatabase::loginName(7));
    client.loginWindow->passwordEdit->setText("pw");
    client.loginWindow->logIn();
    MainWindow *main = client.mainWindow;
    main->projectGrid->setCurrentIndex(main->projectGrid->model()->index(0, 0));
    main->projectQuery->openCurrentProject();
    ProjectWindow *project = client.projectWindow;
    TaskDispatchWindow *dispatch = client.dispatchWindow;
    project->dispatchButton->click();
    dispatch->pickStep(0);
    std::vector<double> dispatchMs, statementMs;
    const QString step = dispatch->contentEdit->toPlainText();
    for (int i = 0; i < repeats; ++i) {
        // A task of its own each time: the same one again would be refused.
        dispatch->contentEdit->setPlainText(step + QString::number(i));
        auto start = Clock::now();
        dispatch->saveButton->click();
        dispatchMs.push_back(since(start));
        Dialogs::takeShown();

        // The same statements, in the same order.
        const Project shown = project->project;
        const QString now = TimeText::format(AppClock::now());
        Task task{shown.id, "bench " + QString::number(i), name, "", now, now, "0", "", "",
                  "Kestra|Halvic"};
        start = Clock::now();
        RecordSet rowsRead;
        rowsRead.load(gateway.openSql(Statements::selectProjectTasks(shown.id, true)));
        gateway.execSql(Statements::addTask(task));
        gateway.execSql(Statements::updateProjectTaskCount(shown.taskCount, shown));
        gateway.execSql(Statements::addNotice({"项目编号:x", name, "Kestra|Halvic", now}));
        rowsRead.load(gateway.openSql(Statements::noticePanel(AppClock::now())));
        rowsRead.load(gateway.openSql(Statements::selectMemberProjects(name, name)));
        rowsRead.load(gateway.openSql(Statements::selectMemberTasks(name, name)));
        rowsRead.load(gateway.openSql(Statements::selectProjectTasks(shown.id, true)));
        rowsRead.load(gateway.openSql(Statements::selectProjectTasks(shown.id, false)));
        gateway.execSql(Statements::updateProjectTaskCount(shown.taskCount, shown));
        statementMs.push_back(since(start));
    }

    const double c = median(colouredMs), p = median(plainMs);
    std::printf("\nmember %s: %d tasks in the task tab; %d runs each\n", qPrintable(name), taskRows,
                repeats);
    std::printf("%-44s %9s %12s\n", "", "median", "per row");
    std::printf("%-44s %6.1f ms %9.1f us\n", "scroll through, plain grid", p, p * 1000 / taskRows);
    std::printf("%-44s %6.1f ms %9.1f us\n", "scroll through, coloured rows", c,
                c * 1000 / taskRows);
    std::printf("%-44s %9.2f\n", "ratio coloured / plain", c / p);
    const double d = median(dispatchMs), s = median(statementMs);
    std::printf("\n%-44s %6.1f ms\n", "its 10 statements through the gateway", s);
    std::printf("%-44s %6.1f ms\n", "dispatch: click to refreshed windows", d);
    std::printf("%-44s %9.2f\n", "ratio dispatch / statements", d / s);
    server.stop();
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
