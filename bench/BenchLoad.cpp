// The server under a department's everyday load: N members, each refreshing
// the reminder's two counts and the notice panel every 100 s (spread evenly
// over the period, each round on a connection of its own, asking with the
// tags of its last answers as a client running all day holds them), and a
// notice added every 3 s per 100 members.
// Prints request latency, errors, the server's CPU and peak memory per N, and
// how soon after the load a member's fresh task list is answered as fast as
// before it; with --reference, the same for another build of the server, in
// turns with this one:
//
//     bench_load [--reference PATH-TO-OLDER-solvane-server]
//                [seconds per N, default 100] [N ...; default 1000 3000 10000]
//
// With --postgres, on a PostgreSQL copy of the department (on the cluster
// SOLVANE_TEST_PG names: scripts/pg-cluster build/bench/bench_load --postgres);
// with --servers K, K servers on the one database, the members split between
// them and the notices written through the first.

#include "harness/BenchClient.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "harness/ServerUse.h"
#include "protocol/RowChanges.h"
#include "support/PgTestDatabase.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <httplib.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPeriodSeconds = 100;
constexpr double kNoticeEverySecondsPer100 = 3;
constexpr int kClientThreads = 64;
const std::string kOpenSql = "/datasnap/rest/TZelServerDataBase/OpenSQL";

std::array<std::string, 3> roundOf(int member) {
    const std::string name =
        BenchDatabase::memberName(member % BenchDatabase::kMembers).toStdString();
    const std::string since =
        QDateTime::currentDateTime().addDays(-15).toString("yyyy-MM-dd").toStdString();
    return {"Select * From Programe Where ProPerformer like'%" + name +
                "%' and ProCompleteFlag='No'",
            "Select * From Task Where TaskPerformer like'%" + name + "%' and TaskCompleteFlag<>'2'",
            "Select * From Notice Where CreateTime>='" + since + "'Order by CreateTime desc"};
}

struct Result {
    std::vector<double> millis;
    int errors = 0;
    std::string firstError; // what the first failed request was told
    int late = 0;           // rounds begun more than a second behind their time
    int notices = 0;
};

using Tags = std::array<std::string, 3>;

// Every member's client has been running all day: it holds the tags of its
// last answers. Members share statements by name, so those are asked once.
std::vector<Tags> tagsOfEarlierRefreshes(const ServerProcess &server, int members) {
    std::vector<Tags> known(std::min(members, BenchDatabase::kMembers));
    for (size_t m = 0; m < known.size(); ++m) {
        httplib::Client client(server.host().toStdString(), server.port());
        client.set_basic_auth(BenchDatabase::loginName(int(m)).toStdString(), "pw");
        const auto statements = roundOf(int(m));
        for (int s = 0; s < 3; ++s)
            if (auto answer = client.Post(kOpenSql, statements[s], "text/plain"))
                known[m][s] = answer->get_header_value("ETag");
    }
    std::vector<Tags> tags(members);
    for (int m = 0; m < members; ++m)
        tags[m] = known[m % known.size()];
    return tags;
}

Result simulate(const std::vector<std::unique_ptr<ServerProcess>> &servers, int members,
                double seconds) {
    const ServerProcess &server = *servers.front();
    std::vector<Tags> tags = tagsOfEarlierRefreshes(server, members);
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
            for (long k = nextRound++; due(k) < end; k = nextRound++) {
                std::this_thread::sleep_until(due(k)); // the member's turn comes
                if (Clock::now() - due(k) > std::chrono::seconds(1))
                    ++late;
                const int member = int(k % members);
                const ServerProcess &own = *servers[size_t(member) % servers.size()];
                httplib::Client client(own.host().toStdString(), own.port());
                client.set_basic_auth(
                    BenchDatabase::loginName(member % BenchDatabase::kMembers).toStdString(), "pw");
                client.set_keep_alive(true);
                client.set_tcp_nodelay(true);
                client.set_read_timeout(std::chrono::seconds(8));
                const auto statements = roundOf(member);
                for (int s = 0; s < 3; ++s) {
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
                    } else if (answer->status != 304)
                        tags[member][s] = answer->get_header_value("ETag");
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            result.millis.insert(result.millis.end(), millis.begin(), millis.end());
            if (result.firstError.empty())
                result.firstError = firstError;
            result.errors += errors;
            result.late += late;
        });
    // The members post a notice now and then, each in turn: one member alone
    // would soon reach the notices a member may hold.
    const double noticeSpacing = kNoticeEverySecondsPer100 * 100 / members;
    std::vector<std::unique_ptr<httplib::Client>> posters;
    for (int m = 0; m < BenchDatabase::kMembers; ++m) {
        posters.push_back(
            std::make_unique<httplib::Client>(server.host().toStdString(), server.port()));
        posters.back()->set_basic_auth(BenchDatabase::loginName(m).toStdString(), "pw");
        posters.back()->set_tcp_nodelay(true);
    }
    for (long n = 0;; ++n) {
        const auto at = begin + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(n * noticeSpacing));
        if (at >= end)
            break;
        std::this_thread::sleep_until(at);
        const std::string now =
            QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString();
        const int poster = int(n % BenchDatabase::kMembers);
        const std::string author = BenchDatabase::memberName(poster).toStdString();
        auto answer =
            posters[size_t(poster)]->Post("/datasnap/rest/TZelServerDataBase/ExecSQL",
                                          "Insert into Notice values('load " + std::to_string(n) +
                                              "','" + author + "','" + author + "','" + now + "')",
                                          "text/plain");
        if (!answer || answer->status != 200) {
            std::lock_guard<std::mutex> lock(mutex); // the members' threads may be done already
            if (!result.errors++)
                result.firstError = "notice: " + (answer ? std::to_string(answer->status) + " " +
                                                               answer->body.substr(0, 120)
                                                         : std::string("no answer"));
        }
        ++result.notices;
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

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    QString reference;
    bool postgres = false;
    int serverCount = 1;
    std::vector<double> numbers;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reference" && i + 1 < argc)
            reference = argv[++i];
        else if (arg == "--postgres")
            postgres = true;
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
    QString database = dbPath;
    PgTestDatabase onPostgres;
    if (postgres) {
        if (!PgTestDatabase::unavailableReason().isEmpty() || !onPostgres.createEmpty()) {
            std::fprintf(stderr, "no PostgreSQL: %s%s\n",
                         qPrintable(PgTestDatabase::unavailableReason()),
                         qPrintable(onPostgres.errorText()));
            return 1;
        }
        QProcess copy;
        copy.start(ServerProcess::binary(),
                   {"--db", dbPath, "--copy-to", onPostgres.ownerConnection(), "--grant-to",
                    "solvane_server"});
        if (!copy.waitForFinished(600000) || copy.exitCode() != 0) {
            std::fprintf(stderr, "--copy-to failed: %s\n", copy.readAllStandardError().constData());
            return 1;
        }
        onPostgres.execAsOwner("ANALYZE Login, Programe, Task, Notice");
        database = onPostgres.serverConnection();
    }
    const auto storage =
        postgres ? ServerProcess::Storage::Postgres : ServerProcess::Storage::Sqlite;

    std::printf("\n%-9s %-7s %6s %9s %9s %9s %9s %7s %6s %8s %10s %9s %9s\n", "server", "members",
                "sec", "requests", "p50", "p99", "max", "errors", "late", "notices", "server CPU",
                "peak RSS", "healthy");
    int asked = 0;
    auto measure = [&](const QString &binary, const char *label, int members) {
        std::vector<std::unique_ptr<ServerProcess>> servers;
        for (int i = 0; i < serverCount; ++i) {
            // The members share 50 logins here, so no login's share of the readers:
            // a department of N members has N logins.
            servers.push_back(std::make_unique<ServerProcess>(
                QStringList{"--per-address", "0", "--max-connections", "2000", "--reader-share",
                            "100000"},
                storage));
            servers.back()->setDatabase(database);
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
        const ServerUse before = use();
        Result result = simulate(servers, members, seconds);
        const ServerUse after = use();
        const double healthy = secondsUntilHealthy(server, BenchClient::median(calm), asked);
        std::sort(result.millis.begin(), result.millis.end());
        std::printf("%-9s %-7d %6.0f %9zu %6.2f ms %6.2f ms %6.1f ms %7d %6d %8d %9.1f%% %5ld MiB "
                    "%7.2f s\n",
                    label, members, seconds, result.millis.size(), percentile(result.millis, 0.5),
                    percentile(result.millis, 0.99),
                    result.millis.empty() ? 0 : result.millis.back(), result.errors, result.late,
                    result.notices, 100 * (after.cpuSeconds - before.cpuSeconds) / seconds,
                    after.peakKiB / 1024, healthy);
        if (!result.firstError.empty())
            std::fprintf(stderr, "  first error: %s\n", result.firstError.c_str());
        for (const auto &each : servers)
            each->stop();
        // The next measure starts from the same department.
        const char *removeLoad = "DELETE FROM Notice WHERE Content LIKE 'load %'";
        if (postgres) {
            onPostgres.execAsOwner(removeLoad);
        } else {
            sqlite3 *db = nullptr;
            if (sqlite3_open(dbPath.toUtf8().constData(), &db) == SQLITE_OK)
                sqlite3_exec(db, removeLoad, nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        return true;
    };
    bool referenceFirst = false; // taking turns, so neither always meets a warmer machine
    for (int members : counts) {
        if (!reference.isEmpty() && referenceFirst && !measure(reference, "reference", members))
            return 1;
        if (!measure(QString(), "this", members))
            return 1;
        if (!reference.isEmpty() && !referenceFirst && !measure(reference, "reference", members))
            return 1;
        referenceFirst = !referenceFirst;
    }
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
