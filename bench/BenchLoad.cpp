// The server under a department's everyday load: N members, each refreshing
// the reminder's two counts and the notice panel every 100 s (spread evenly
// over the period, each round on a connection of its own, asking with the
// tags of its last answers as a client running all day holds them), and a
// notice added every 3 s per 100 members.
// Prints request latency, errors, the server's CPU and peak memory per N, and
// how soon after the load a member's fresh task list is answered as fast as
// before it; with --reference, the same for another build of the server, in
// turns with this one. Without --distinct, a first load of up to 30 s on each
// storage, printed as warm-up, only warms the machine:
//
//     bench_load [--reference PATH-TO-OLDER-solvane-server]
//                [seconds per N, default 100] [N ...; default 1000 3000 10000]
//
// With --postgres, on a PostgreSQL copy of the department (on the cluster
// SOLVANE_TEST_PG names: scripts/pg-cluster build/bench/bench_load --postgres);
// with --both, on SQLite and then on that copy, for each N; with --servers K,
// K servers on the one database, the members split between them and the
// notices written through the first.
//
// With --distinct, each member has a login and a display name of its own, and
// works as the main window does: a task is dispatched every 10 s per 100
// members (to two members related), one watch of the live feed tells every
// member of it, and a member whose round comes after its lists changed
// reloads its own project list and task list with the tags of those it holds,
// besides the reminder's counts and the panel. Every member has asked its
// lists once before the load (its login). The table then shows the share of
// answers that were unchanged (304), changed rows (226) and whole (200), for
// the own lists and for all, and the server's CPU per change.

#include "data/statements/Statements.h"
#include "harness/BenchClient.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "harness/PostgresCopy.h"
#include "harness/ServerUse.h"
#include "protocol/RowChanges.h"
#include "support/PgSpelling.h"
#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPeriodSeconds = 100;
constexpr double kNoticeEverySecondsPer100 = 3;
constexpr double kDispatchEverySecondsPer100 = 10;
constexpr int kClientThreads = 64;
const std::string kOpenSql = "/datasnap/rest/TZelServerDataBase/OpenSQL";

// Whether every member has a login and a display name of its own.
bool distinctMembers = false;

int loginOf(int member) {
    return distinctMembers ? member : member % BenchDatabase::kMembers;
}

// The reminder's two counts and the panel; with distinct members, then the
// member's own project list and task list, as the main window reloads them.
constexpr int kStatements = 5;
constexpr int kOwnLists = 3; // the first of the own lists

std::array<std::string, kStatements> roundOf(int member) {
    const QString display = BenchDatabase::memberName(loginOf(member));
    const std::string name = display.toStdString();
    const std::string since =
        QDateTime::currentDateTime().addDays(-15).toString("yyyy-MM-dd").toStdString();
    return {"Select * From Programe Where ProPerformer like'%" + name +
                "%' and ProCompleteFlag='No'",
            "Select * From Task Where TaskPerformer like'%" + name + "%' and TaskCompleteFlag<>'2'",
            "Select * From Notice Where CreateTime>='" + since + "'Order by CreateTime desc",
            Statements::selectMemberProjects(display, display).toStdString(),
            Statements::selectMemberTasks(display, display).toStdString()};
}

// How many answers of each kind came: unchanged, changed rows, whole.
struct Answers {
    long unchanged = 0, rowChanges = 0, whole = 0;
    void add(int status) {
        (status == 304 ? unchanged : status == 226 ? rowChanges : whole) += 1;
    }
    void add(const Answers &other) {
        unchanged += other.unchanged;
        rowChanges += other.rowChanges;
        whole += other.whole;
    }
    std::string shares() const {
        const double all = std::max(1L, unchanged + rowChanges + whole);
        char text[64];
        std::snprintf(text, sizeof text, "%3.0f/%3.0f/%3.0f", 100 * unchanged / all,
                      100 * rowChanges / all, 100 * whole / all);
        return text;
    }
};

struct Result {
    std::vector<double> millis;
    int errors = 0;
    std::string firstError; // what the first failed request was told
    int late = 0;           // rounds begun more than a second behind their time
    int notices = 0;
    int dispatches = 0;
    Answers ownLists, all;
};

using Tags = std::array<std::string, kStatements>;

// Every member's client has been running all day: it holds the tags of its
// last answers. Members share statements by name, so those are asked once.
std::vector<Tags> tagsOfEarlierRefreshes(const ServerProcess &server, int members) {
    std::vector<Tags> known(distinctMembers ? members : std::min(members, BenchDatabase::kMembers));
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kClientThreads; ++t)
        threads.emplace_back([&] {
            for (size_t m = next++; m < known.size(); m = next++) {
                httplib::Client client(server.host().toStdString(), server.port());
                client.set_basic_auth(BenchDatabase::loginName(loginOf(int(m))).toStdString(),
                                      "pw");
                client.set_read_timeout(std::chrono::seconds(30));
                const auto statements = roundOf(int(m));
                for (int s = 0; s < (distinctMembers ? kStatements : kOwnLists); ++s)
                    if (auto answer = client.Post(kOpenSql, statements[s], "text/plain"))
                        known[m][s] = answer->get_header_value("ETag");
            }
        });
    for (auto &thread : threads)
        thread.join();
    std::vector<Tags> tags(members);
    for (int m = 0; m < members; ++m)
        tags[m] = known[m % known.size()];
    return tags;
}

// The live feed as every member's client follows it: one watch, counting
// the changes of the lists' tables (Programe, Task) it tells of.
class FeedWatch {
public:
    explicit FeedWatch(const ServerProcess &server)
        : thread_([this, &server] { watch(server); }) {}
    ~FeedWatch() {
        stop_ = true;
        thread_.join();
    }
    long listChanges() const { return listChanges_; }

private:
    void watch(const ServerProcess &server) {
        httplib::Client client(server.host().toStdString(), server.port());
        client.set_basic_auth(BenchDatabase::loginName(0).toStdString(), "pw");
        client.set_read_timeout(std::chrono::seconds(40));
        std::string token;
        nlohmann::json seen;
        while (!stop_) {
            auto answer = client.Get("/datasnap/changes" + (token.empty() ? "" : "?since=" + token));
            if (!answer || answer->status != 200)
                continue;
            const auto told = nlohmann::json::parse(answer->body, nullptr, false);
            if (told.is_discarded())
                continue;
            token = told.value("token", "");
            const auto &tables = told["tables"];
            if (!seen.is_null() &&
                (tables["Programe"] != seen["Programe"] || tables["Task"] != seen["Task"]))
                ++listChanges_;
            seen = tables;
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<long> listChanges_{0};
    std::thread thread_;
};

// A task of the first project dispatched by one of the 50 first members, to
// two members related to it.
std::string dispatched(int n, int members, const QString &project, std::mt19937 &random) {
    Task task;
    task.projectId = project;
    task.content = QStringLiteral("load 派发 %1").arg(n);
    task.dispatcher = BenchDatabase::memberName(n % BenchDatabase::kMembers);
    const QDateTime now = QDateTime::currentDateTime();
    task.createTime = now.toString("yyyy-MM-dd HH:mm:ss");
    task.dueTime = now.addDays(3).toString("yyyy-MM-dd HH:mm:ss");
    task.state = QStringLiteral("0");
    task.relatedPersons = BenchDatabase::memberName(int(random() % unsigned(members))) + "|" +
                          BenchDatabase::memberName(int(random() % unsigned(members)));
    return Statements::addTask(task).toStdString();
}

// loggedIn is called once every member has asked its lists, before the load.
Result simulate(const std::vector<std::unique_ptr<ServerProcess>> &servers, int members,
                double seconds, const QString &project, const std::function<void()> &loggedIn) {
    const ServerProcess &server = *servers.front();
    std::vector<Tags> tags = tagsOfEarlierRefreshes(server, members);
    loggedIn();
    std::fprintf(stderr, "  %d members logged in; the load begins\n", members); // for profilers
    std::unique_ptr<FeedWatch> feed;
    if (distinctMembers)
        feed = std::make_unique<FeedWatch>(server);
    std::vector<long> listsSeen(size_t(members), 0); // the feed's count at each member's last reload
    std::atomic<long> nextRound{0};
    std::mutex mutex;
    Result result;
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration<double>(seconds);
    const double spacing = kPeriodSeconds / members;
    auto due = [&](long k) {
        return begin + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(k * spacing));
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kClientThreads; ++t)
        threads.emplace_back([&] {
            std::vector<double> millis;
            int errors = 0, late = 0;
            std::string firstError;
            Answers ownLists, all;
            for (long k = nextRound++; due(k) < end; k = nextRound++) {
                std::this_thread::sleep_until(due(k)); // the member's turn comes
                if (Clock::now() - due(k) > std::chrono::seconds(1))
                    ++late;
                const int member = int(k % members);
                const ServerProcess &own = *servers[size_t(member) % servers.size()];
                httplib::Client client(own.host().toStdString(), own.port());
                client.set_basic_auth(BenchDatabase::loginName(loginOf(member)).toStdString(),
                                      "pw");
                client.set_keep_alive(true);
                client.set_tcp_nodelay(true);
                client.set_read_timeout(std::chrono::seconds(8));
                const auto statements = roundOf(member);
                // The own lists are reloaded when the feed told of a change since.
                int asked = kOwnLists;
                if (feed) {
                    const long told = feed->listChanges();
                    if (told != listsSeen[size_t(member)]) {
                        listsSeen[size_t(member)] = told;
                        asked = kStatements;
                    }
                }
                for (int s = 0; s < asked; ++s) {
                    httplib::Headers headers;
                    if (!tags[member][s].empty()) {
                        headers.emplace("If-None-Match", tags[member][s]);
                        headers.emplace("A-IM", RowChanges::kManipulation); // as the client asks
                    }
                    const auto start = Clock::now();
                    auto answer = client.Post(kOpenSql, headers, statements[s], "text/plain");
                    millis.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                    if (!answer ||
                        (answer->status != 200 && answer->status != 226 && answer->status != 304)) {
                        if (!errors++)
                            firstError = answer ? std::to_string(answer->status) + " " +
                                                      answer->body.substr(0, 120)
                                                : "no answer";
                        continue;
                    }
                    all.add(answer->status);
                    if (s >= kOwnLists)
                        ownLists.add(answer->status);
                    if (answer->status != 304)
                        tags[member][s] = answer->get_header_value("ETag");
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            result.millis.insert(result.millis.end(), millis.begin(), millis.end());
            if (result.firstError.empty())
                result.firstError = firstError;
            result.errors += errors;
            result.late += late;
            result.ownLists.add(ownLists);
            result.all.add(all);
        });
    // The members post a notice now and then, each in turn: one member alone
    // would soon reach the notices a member may hold; with distinct members,
    // the first 50 dispatch tasks too.
    const double noticeSpacing = kNoticeEverySecondsPer100 * 100 / members;
    const double dispatchSpacing =
        distinctMembers ? kDispatchEverySecondsPer100 * 100 / members : seconds * 2;
    std::vector<std::unique_ptr<httplib::Client>> posters;
    for (int m = 0; m < BenchDatabase::kMembers; ++m) {
        posters.push_back(
            std::make_unique<httplib::Client>(server.host().toStdString(), server.port()));
        posters.back()->set_basic_auth(BenchDatabase::loginName(m).toStdString(), "pw");
        posters.back()->set_tcp_nodelay(true);
    }
    std::mt19937 random(11);
    auto post = [&](int poster, const std::string &path, const std::string &sql,
                    const char *what) {
        auto answer = posters[size_t(poster)]->Post(path, sql, "text/plain");
        if (!answer || answer->status != 200 ||
            answer->body.find("\"result\":true") == std::string::npos) {
            std::lock_guard<std::mutex> lock(mutex); // the members' threads may be done already
            if (!result.errors++)
                result.firstError = what + (": " + (answer ? std::to_string(answer->status) + " " +
                                                                 answer->body.substr(0, 120)
                                                           : std::string("no answer")));
        }
    };
    for (long n = 0, d = 0;;) {
        const double noticeAt = n * noticeSpacing, dispatchAt = d * dispatchSpacing;
        const auto at = begin + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(std::min(noticeAt, dispatchAt)));
        if (at >= end)
            break;
        std::this_thread::sleep_until(at);
        if (dispatchAt < noticeAt) {
            post(int(d % BenchDatabase::kMembers), "/datasnap/rest/TZelServerDataBase/ExecSQL",
                 dispatched(int(d), members, project, random), "dispatch");
            ++result.dispatches;
            ++d;
            continue;
        }
        const std::string now =
            QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString();
        const int poster = int(n % BenchDatabase::kMembers);
        const std::string author = BenchDatabase::memberName(poster).toStdString();
        post(poster, "/datasnap/rest/TZelServerDataBase/ExecSQL",
             "Insert into Notice values('load " + std::to_string(n) + "','" + author + "','" +
                 author + "','" + now + "')",
             "notice");
        ++result.notices;
        ++n;
    }
    for (auto &thread : threads)
        thread.join();
    return result;
}

// A task list no member asked before, so that nothing kept answers it.
double freshTaskListMillis(const ServerProcess &server, int &asked) {
    httplib::Client client(server.host().toStdString(), server.port());
    client.set_basic_auth(BenchDatabase::loginName(7).toStdString(), "pw");
    client.set_read_timeout(std::chrono::seconds(30));
    const std::string name = "nobody " + std::to_string(++asked);
    const auto start = Clock::now();
    auto answer = client.Post(kOpenSql,
                              "Select * From Task where TaskDemander='" + name +
                                  "' or TaskPerformer like '%" + name + "%' or TaskCCList like '%" +
                                  name + "%' order by TaskCompleteTime desc",
                              "text/plain");
    const double millis = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return answer && answer->status == 200 ? millis : -1;
}

// How long after the load a fresh task list first takes no more than twice
// what it took before the load (a failure counts as slow), in seconds.
double secondsUntilHealthy(const ServerProcess &server, double calmMillis, int &asked) {
    const auto loadEnded = Clock::now();
    for (;;) {
        const double millis = freshTaskListMillis(server, asked);
        const double since = std::chrono::duration<double>(Clock::now() - loadEnded).count();
        if ((millis >= 0 && millis <= 2 * calmMillis) || since > 60)
            return since;
    }
}

double percentile(std::vector<double> &sorted, double p) {
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, size_t(sorted.size() * p))];
}

} // namespace

// Members beyond the benchmark department's 50, each with a login and a
// display name of its own; and the number of a project to dispatch tasks of.
QString addMembers(const QString &dbPath, int members) {
    sqlite3 *db = nullptr;
    sqlite3_open(dbPath.toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Login VALUES(?,'pw',?)", -1, &insert, nullptr);
    for (int m = BenchDatabase::kMembers; m < members; ++m) {
        const QByteArray login = BenchDatabase::loginName(m).toUtf8();
        const QByteArray name = BenchDatabase::memberName(m).toUtf8();
        sqlite3_bind_text(insert, 1, login.constData(), login.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, name.constData(), name.size(), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    QString project;
    sqlite3_stmt *first = nullptr;
    sqlite3_prepare_v2(db, "SELECT ProId FROM Programe LIMIT 1", -1, &first, nullptr);
    if (sqlite3_step(first) == SQLITE_ROW)
        project = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(first, 0)));
    sqlite3_finalize(first);
    sqlite3_close(db);
    return project;
}

// The department on one storage: where the servers find it, and how the
// load's rows are taken out again.
struct Target {
    const char *label;
    ServerProcess::Storage storage;
    QString database;
    std::function<void(const char *sql)> exec;
};

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    QString reference;
    bool sqlite = true, postgres = false;
    int serverCount = 1;
    std::vector<double> numbers;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reference" && i + 1 < argc)
            reference = argv[++i];
        else if (arg == "--postgres")
            postgres = true, sqlite = false;
        else if (arg == "--both")
            postgres = sqlite = true;
        else if (arg == "--distinct")
            distinctMembers = true;
        else if (arg == "--servers" && i + 1 < argc)
            serverCount = std::max(1, atoi(argv[++i]));
        else
            numbers.push_back(atof(argv[i]));
    }
    const double seconds = numbers.empty() ? kPeriodSeconds : std::max(5.0, numbers.front());
    std::vector<int> counts;
    for (size_t i = 1; i < numbers.size(); ++i)
        counts.push_back(std::max(1, int(numbers[i])));
    if (counts.empty())
        counts = {1000, 3000, 10000};

    QTemporaryDir dir;
    const QString dbPath = dir.filePath("bench.db");
    BenchDatabase::seedFile(dbPath);
    const QString project =
        addMembers(dbPath, distinctMembers ? *std::max_element(counts.begin(), counts.end()) : 0);
    std::vector<Target> targets;
    if (sqlite)
        targets.push_back({"SQLite", ServerProcess::Storage::Sqlite, dbPath, [&](const char *sql) {
                               sqlite3 *db = nullptr;
                               if (sqlite3_open(dbPath.toUtf8().constData(), &db) == SQLITE_OK)
                                   sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
                               sqlite3_close(db);
                           }});
    PgTestDatabase onPostgres;
    if (postgres) {
        if (!PostgresCopy::copyDepartment(dbPath, onPostgres))
            return 1;
        targets.push_back({"PostgreSQL", ServerProcess::Storage::Postgres,
                           onPostgres.serverConnection(),
                           [&](const char *sql) {
                               onPostgres.execAsOwner(inPostgresSpelling(sql));
                           }});
    }

    std::printf("\n%-10s %-9s %-7s %6s %9s %9s %9s %9s %7s %6s %8s %10s %9s %9s", "storage",
                "server", "members", "sec", "requests", "p50", "p99", "max", "errors", "late",
                "changes", "server CPU", "peak RSS", "healthy");
    if (distinctMembers)
        std::printf(" %14s %14s %11s", "lists 304/226/200 %", "all 304/226/200 %", "CPU/change");
    std::printf("\n");
    int asked = 0;
    auto measure = [&](const Target &target, const QString &binary, const char *label,
                       int members, double loadSeconds) {
        std::vector<std::unique_ptr<ServerProcess>> servers;
        for (int i = 0; i < serverCount; ++i) {
            // Without distinct members they share 50 logins, so no login's
            // share of the readers: a department of N members has N logins.
            // The feed's watch is answered within 2 s when nothing changes, so
            // that it ends soon after the load.
            QStringList arguments{"--per-address", "0", "--max-connections", "2000",
                                  "--reader-share", "100000"};
            if (distinctMembers)
                arguments << "--changes-quiet-s" << "2";
            servers.push_back(std::make_unique<ServerProcess>(arguments, target.storage));
            servers.back()->setDatabase(target.database);
            if (!binary.isEmpty())
                servers.back()->setBinary(binary);
            if (!servers.back()->start()) {
                std::fprintf(stderr, "server did not start: %s\n",
                             qPrintable(servers.back()->errorText()));
                return false;
            }
        }
        ServerProcess &server = *servers.front();
        std::vector<double> calm;
        for (int i = 0; i < 5; ++i)
            calm.push_back(freshTaskListMillis(server, asked));
        auto use = [&] { // all servers together
            ServerUse sum;
            for (const auto &each : servers) {
                const ServerUse one = serverUse(each->pid());
                sum.cpuSeconds += one.cpuSeconds;
                sum.peakKiB += one.peakKiB;
            }
            return sum;
        };
        ServerUse before = use();
        Result result = simulate(servers, members, loadSeconds, project, [&] { before = use(); });
        const ServerUse after = use();
        const double healthy = secondsUntilHealthy(server, BenchClient::median(calm), asked);
        std::sort(result.millis.begin(), result.millis.end());
        const double cpu = after.cpuSeconds - before.cpuSeconds;
        const int changes = result.notices + result.dispatches;
        std::printf("%-10s %-9s %-7d %6.0f %9zu %6.2f ms %6.2f ms %6.1f ms %7d %6d %8d %9.1f%% "
                    "%5ld MiB %7.2f s",
                    target.label, label, members, loadSeconds, result.millis.size(),
                    percentile(result.millis, 0.5), percentile(result.millis, 0.99),
                    result.millis.empty() ? 0 : result.millis.back(), result.errors, result.late,
                    changes, 100 * cpu / loadSeconds, after.peakKiB / 1024, healthy);
        if (distinctMembers)
            std::printf(" %19s %17s %8.1f ms", result.ownLists.shares().c_str(),
                        result.all.shares().c_str(), 1000 * cpu / std::max(1, changes));
        std::printf("\n");
        if (!result.firstError.empty())
            std::fprintf(stderr, "  first error: %s\n", result.firstError.c_str());
        for (const auto &each : servers)
            each->stop();
        // The next measure starts from the same department.
        target.exec("DELETE FROM Notice WHERE Content LIKE 'load %'");
        target.exec("DELETE FROM Task WHERE TaskContent LIKE 'load %'");
        return true;
    };
    // The first load on a storage runs slower for any server (the same build
    // measured twice gave p50 22.4 ms, then 12.9 ms), so it only warms the
    // machine: its row is printed, and compared with nothing. Distinct
    // members warm it with their logins, which ask every member's lists.
    ::sync(); // and the department just written is on disk before any load
    for (const Target &target : targets) {
        if (!distinctMembers &&
            !measure(target, QString(), "warm-up", counts.front(), std::min(seconds, 30.0)))
            return 1;
        bool referenceFirst = false; // taking turns, so neither always meets a warmer machine
        for (int members : counts) {
            if (!reference.isEmpty() && referenceFirst &&
                !measure(target, reference, "reference", members, seconds))
                return 1;
            if (!measure(target, QString(), "this", members, seconds))
                return 1;
            if (!reference.isEmpty() && !referenceFirst &&
                !measure(target, reference, "reference", members, seconds))
                return 1;
            referenceFirst = !referenceFirst;
        }
    }
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
