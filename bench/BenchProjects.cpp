// The project windows on the busy department's database: from a double-click
// on the project list to a filled project window (50 tasks, progress sheet),
// against its three statements sent through the gateway alone; and the
// export of 10,000 project rows to a spreadsheet file.

#include "ClientApp.h"
#include "data/DataAccess.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/export/SpreadsheetExport.h"
#include "data/records/RecordSet.h"
#include "data/statements/Statements.h"
#include "harness/BenchClient.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "projects/ProjectQueryTab.h"
#include "projects/ProjectWindow.h"
#include "seams/Dialogs.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "support/ServerProcess.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using BenchClient::Clock;
using BenchClient::median;
using BenchClient::since;

// Gives the first project 50 tasks in all; returns its number.
QString growFirstProject(const QString &path) {
    sqlite3 *db;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt *stmt;
    sqlite3_prepare_v2(db, "select ProId from Programe where rowid=1", -1, &stmt, nullptr);
    sqlite3_step(stmt);
    const QString id =
        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    const QByteArray insert =
        QString("insert into Task select TaskId, TaskContent||' #'||n.value, TaskDemander, "
                "TaskPerformer, TaskCreateTime, TaskCompleteTime, TaskCompleteFlag, TaskList, "
                "TaskReadTime, TaskCCList from Task, (with recursive c(value) as (select 1 union "
                "all select value+1 from c where value<9) select value from c) n "
                "where TaskId='%1'")
            .arg(id)
            .toUtf8();
    sqlite3_exec(db, insert.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return id;
}

} // namespace

int run(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int repeats = argc > 1 ? std::max(5, atoi(argv[1])) : 30;

    QTemporaryDir dir;
    ServerProcess server;
    QString id;
    if (!BenchClient::startBusyDepartment(
            dir, server, [&id](const QString &path) { id = growFirstProject(path); }))
        return 1;

    ClientApp client;
    client.loginWindow->userNameEdit->setText(BenchDatabase::loginName(7));
    client.loginWindow->passwordEdit->setText("pw");
    client.loginWindow->logIn();
    if (client.loginWindow->result() != QDialog::Accepted) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }
    MainWindow *main = client.mainWindow;
    main->queryEdit->setText(QString());
    main->projectQuery->runQuery(); // every project
    const int listed = main->projectRecords->recordCount();
    int row = 0;
    while (row < listed && main->projectRecords->value(row, 0) != id)
        ++row;
    main->projectGrid->setCurrentIndex(main->projectGrid->model()->index(row, 0));

    // Alternating, so that both see the same server and the same machine load.
    ServerConnection connection;
    connection.setPort(server.port());
    connection.setCredentials(BenchDatabase::loginName(7), "pw");
    connection.open();
    AppServerGateway gateway(&connection);
    std::vector<double> window, statements;
    int tasks = 0;
    for (int i = 0; i < repeats; ++i) {
        auto start = Clock::now();
        main->projectQuery->openCurrentProject();
        window.push_back(since(start));
        tasks = client.projectWindow->taskRecords->recordCount();
        client.projectWindow->close();

        const Project shown = client.projectWindow->project;
        start = Clock::now();
        RecordSet rows;
        rows.load(gateway.openSql(Statements::selectProjectTasks(id, true)));
        rows.load(gateway.openSql(Statements::selectProjectTasks(id, false)));
        gateway.execSql(Statements::updateProjectTaskCount(QString::number(tasks), shown));
        statements.push_back(since(start));
    }

    std::vector<double> exports;
    qint64 bytes = 0;
    for (int i = 0; i < std::max(3, repeats / 10); ++i) {
        const QString path = dir.filePath(QString("projects%1.xlsx").arg(i));
        auto start = Clock::now();
        if (SpreadsheetExport::write(path, *main->projectRecords) !=
            SpreadsheetExport::Result::Written) {
            std::fprintf(stderr, "export failed\n");
            return 1;
        }
        exports.push_back(since(start));
        bytes = QFileInfo(path).size();
    }

    const double w = median(window), s = median(statements);
    std::printf("\nproject %s with %d tasks; %d runs\n", qPrintable(id), tasks, repeats);
    std::printf("%-46s %9s\n", "", "median");
    std::printf("%-46s %6.2f ms\n", "its statements through the gateway", s);
    std::printf("%-46s %6.2f ms\n", "double-click to a filled project window", w);
    std::printf("%-46s %9.2f\n", "ratio window / statements", w / s);
    std::printf("\n%-46s %6.1f ms\n",
                QString("export of %1 project rows").arg(listed).toUtf8().constData(),
                median(exports));
    std::printf("%-46s %6.1f KiB (%.1f bytes per row)\n", "file size", bytes / 1024.0,
                double(bytes) / std::max(1, listed));
    server.stop();
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
