// From pressing "登录" to a main window with both lists and the notice panel
// filled, against the same statements sent through the gateway alone, on the
// busy department's database; and the client's peak memory.

#include "ClientApp.h"
#include "data/DataAccess.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/records/RecordSet.h"
#include "data/statements/Statements.h"
#include "harness/BenchClient.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "notices/NoticeBoard.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "support/ServerProcess.h"

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Stats {
    double median, p90;
};

Stats stats(std::vector<double> millis) {
    std::sort(millis.begin(), millis.end());
    return {millis[millis.size() / 2], millis[millis.size() * 9 / 10]};
}

} // namespace

int run(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int repeats = argc > 1 ? std::max(5, atoi(argv[1])) : 30;

    QTemporaryDir dir;
    ServerProcess server;
    if (!BenchClient::startBusyDepartment(dir, server))
        return 1;
    const QString user = BenchDatabase::loginName(7), name = BenchDatabase::memberName(7);
    const long before = peakKiB();

    // The same statements through a gateway of their own, with nothing shown:
    // run after each login, so that both see the machine in the same state.
    std::vector<double> gatewayOnly, noticeQuery, pairRatios;
    const auto statementsAlone = [&] {
        auto start = Clock::now();
        ServerConnection connection;
        connection.setPort(server.port());
        connection.setCredentials(BenchDatabase::loginName(7), "pw");
        connection.open();
        AppServerGateway gateway(&connection);
        RecordSet rows;
        rows.load(gateway.openSql(Statements::selectMembers(user, "pw")));
        rows.load(gateway.openSql(Statements::selectMemberProjects(name, name)));
        rows.load(gateway.openSql(Statements::selectMemberTasks(name, name)));
        rows.load(gateway.openSql(Statements::noticePanel(AppClock::now())));
        gatewayOnly.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        start = Clock::now();
        rows.load(gateway.openSql(Statements::noticePanel(AppClock::now())));
        noticeQuery.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    };

    std::vector<double> login, panel;
    int projects = 0, tasks = 0, notices = 0;
    for (int i = 0; i < repeats; ++i) {
        ClientApp client;
        client.loginWindow->userNameEdit->setText(user);
        client.loginWindow->passwordEdit->setText("pw");
        auto start = Clock::now();
        client.loginWindow->logIn();
        Dialogs::takeShown();
        login.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (client.loginWindow->result() != QDialog::Accepted) {
            std::fprintf(stderr, "login failed\n");
            return 1;
        }
        start = Clock::now();
        client.mainWindow->refreshNotices();
        panel.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        projects = client.mainWindow->projectRecords->recordCount();
        tasks = client.mainWindow->taskRecords->recordCount();
        notices = client.mainWindow->noticeRecords->recordCount();
        statementsAlone();
        pairRatios.push_back(login.back() / gatewayOnly.back());
    }
    const long afterLogins = peakKiB();

    // A member at work: the main window shown, a new notice arriving before
    // each refresh, the panel laid out as it would be painted.
    std::vector<double> shownPanel;
    {
        ClientApp client;
        client.loginWindow->userNameEdit->setText(user);
        client.loginWindow->passwordEdit->setText("pw");
        client.loginWindow->logIn();
        Dialogs::takeShown();
        client.mainWindow->show();
        QCoreApplication::processEvents();
        for (int i = 0; i < repeats; ++i) {
            server.execOnDatabaseFile(
                QString("Insert into Notice values('bench %1','%2','%2','%3')")
                    .arg(i)
                    .arg(name, AppClock::now().toString("yyyy-MM-dd hh:mm:ss")));
            const auto start = Clock::now();
            client.mainWindow->refreshNotices();
            QCoreApplication::processEvents();
            shownPanel.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        client.mainWindow->hide();
    }

    const Stats a = stats(gatewayOnly), b = stats(login);
    std::printf("\nmember %s: %d projects, %d tasks, %d notices; %d runs each\n", qPrintable(user),
                projects, tasks, notices, repeats);
    std::printf("%-34s %10s %10s\n", "", "median", "p90");
    std::printf("%-34s %7.1f ms %7.1f ms\n", "gateway alone (connect + 4 queries)", a.median,
                a.p90);
    std::printf("%-34s %7.1f ms %7.1f ms\n", "login to filled main window", b.median, b.p90);
    std::printf("%-34s %10.2f %10.2f\n", "ratio login / gateway", b.median / a.median,
                b.p90 / a.p90);
    const Stats r = stats(pairRatios);
    std::printf("%-34s %10.2f %10.2f\n", "  the same, login by login", r.median, r.p90);
    const Stats c = stats(noticeQuery), d = stats(panel);
    std::printf("%-34s %7.1f ms %7.1f ms\n", "notice query through the gateway", c.median, c.p90);
    std::printf("%-34s %7.1f ms %7.1f ms\n", "refreshNotices (query + panel)", d.median, d.p90);
    std::printf("%-34s %10.2f %10.2f\n", "ratio refreshNotices / query", d.median / c.median,
                d.p90 / c.p90);
    const Stats e = stats(shownPanel);
    std::printf("%-34s %7.1f ms %7.1f ms\n", "shown, after a new notice", e.median, e.p90);
    std::printf("\nclient peak memory: %ld KiB before the first login, %ld KiB after %d logins\n",
                before, afterLogins, repeats);
    server.stop();
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
