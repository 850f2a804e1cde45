// solvane-server: the application server every Solvane client talks to.

#include "commands/AdminTasks.h"
#include "commands/Backup.h"
#include "commands/History.h"
#include "commands/Options.h"
#include "commands/PostgresCommands.h"
#include "http/HttpServer.h"
#include "solvane_version.h"
#include "storage/postgres/PgConnection.h"
#include "storage/postgres/PgStorage.h"
#include "storage/sqlite/SqliteStorage.h"

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <thread>

using namespace appserver;

namespace {

// File descriptors kept for the database files, the event loop and logging.
constexpr rlim_t kSpareDescriptors = 64;

// Each connection needs a descriptor: raise the soft limit as far as allowed,
// and take fewer connections than asked when even that is not enough.
unsigned connectionsWithinDescriptorLimit(unsigned wanted) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted + kSpareDescriptors)
        return wanted;
    const unsigned possible =
        limit.rlim_cur > kSpareDescriptors ? unsigned(limit.rlim_cur - kSpareDescriptors) : 1;
    std::fprintf(stderr, "solvane-server: only %u connections fit the descriptor limit\n",
                 possible);
    return possible;
}

std::string fileText(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Blocked in every thread (set before any starts) and taken by sigwait.
sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

int readerCount(const Options &options) {
    return options.threads > 0 ? options.threads
                               : int(std::max(1u, std::thread::hardware_concurrency()));
}

int serve(const Options &options, Storage &storage, const sigset_t &signals) {
    const int readers = readerCount(options);
    // A query not begun by its --statement-ms is answered then: it could not
    // be answered in time any more.
    WorkerQueue readerQueue(storage, readers, size_t(options.queue),
                            std::chrono::milliseconds(options.statementMillis));
    WorkerQueue writerQueue(storage, 1, size_t(options.queue),
                            std::chrono::milliseconds(options.queueMillis));
    const size_t maxAnswerBytes = size_t(options.maxAnswerMiB) << 20;
    // As many large answers in memory at once as there are readers to make them.
    AnswerBudget answerMemory(size_t(readers) * maxAnswerBytes);
    const Routes routes(options.context);
    DailyBytes daily;
    daily.rows = size_t(options.dailyKiB) << 10;
    daily.notices = size_t(options.dailyNoticeKiB) << 10;
    StatementRequests requests(readerQueue, writerQueue, maxAnswerBytes, answerMemory,
                               options.anyStatement, daily, size_t(options.keptAnswersMiB) << 20);

    ListenOptions listen;
    listen.address = options.listen;
    listen.port = options.port;
    listen.maxConnections = connectionsWithinDescriptorLimit(unsigned(options.maxConnections));
    listen.perAddress = unsigned(options.perAddress);
    listen.idleSeconds = unsigned(options.idleSeconds);
    // Half the readers: one member's queries leave the others a reader free.
    listen.readerShare =
        unsigned(options.readerShare > 0 ? options.readerShare : std::max(1, readers / 2));
    listen.throttle.freePerLogin = unsigned(options.loginTries);
    listen.throttle.freePerAddress = unsigned(options.addressTries);
    listen.throttle.freePerLoginEverywhere = unsigned(options.loginTriesEverywhere);
    listen.waits.perLogin = unsigned(options.waitsPerLogin);
    listen.waits.perAddress = unsigned(
        options.waitsPerAddress >= 0 ? options.waitsPerAddress : options.perAddress / 2);
    // A quarter of the connections stays free for members not yet waiting
    // and for every member's other requests.
    listen.waits.total = std::max(1u, listen.maxConnections * 3 / 4);
    listen.throttle.longestWait = std::chrono::seconds(options.longestLoginWait);
    listen.trustedProxies = *TrustedProxies::parse(options.trustedProxies);
    if (!options.tlsCert.empty()) {
        listen.tlsCertificate = fileText(options.tlsCert);
        listen.tlsKey = fileText(options.tlsKey);
    }
    ChangeFeed feed(storage, {std::chrono::seconds(options.changesQuietSeconds),
                              std::chrono::milliseconds(options.changesProbeMillis)});
    requests.setChangeListener([&feed] { feed.changed(); });
    requests.keepJournalDays(options.journalDays);
    feed.setBusy([&readerQueue] { return readerQueue.crowded(); });
    HttpServer server(routes, requests, feed, listen);
    std::printf("solvane-server listening on %s:%d%s\n", options.listen.c_str(), server.port(),
                listen.tlsCertificate.empty() ? "" : " (https)");
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    // No new connections; statements under way finish and their answers go
    // out, those still waiting are answered 503, then the database closes.
    server.stopAccepting();
    feed.finish();
    readerQueue.finish();
    writerQueue.finish();
    if (!server.waitUntilAnswered(std::chrono::seconds(10)))
        std::fprintf(stderr, "solvane-server: some answers were not sent before stopping\n");
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string error;
    auto options = parseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "solvane-server: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (!TrustedProxies::parse(options->trustedProxies)) {
        std::fprintf(stderr, "solvane-server: --trusted-proxy takes numeric IPv4 or IPv6 "
                             "addresses, comma-separated\n");
        return 2;
    }
    if (options->help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("solvane-server %s\n", SOLVANE_VERSION);
        return 0;
    }
    if (auto status = runPostgresCommands(*options))
        return *status;
    if (auto status = runDatabaseCommands(*options))
        return *status;
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        if (isPostgresConnection(options->db)) {
            if (options->readOnly)
                throw std::runtime_error("--read-only is for SQLite files");
            PgStorage storage(options->db, {options->statementMillis, options->writeMillis});
            if (!options->history.empty()) {
                printHistory(storage, options->history, stdout);
                return 0;
            }
            const int status = serve(*options, storage, signals);
            std::fprintf(stderr, "solvane-server stopped\n");
            return status;
        }
        SqliteLimits limits;
        limits.statementMillis = options->statementMillis;
        limits.writeMillis = options->writeMillis;
        limits.readOnly = options->readOnly;
        limits.maxValueBytes = options->maxValueMiB << 20;
        // The readers, the writer and the change watcher share the heap cap.
        limits.sessionCacheBytes =
            sessionCacheFor(limits.heapLimitBytes, readerCount(*options) + 2);
        SqliteStorage storage(options->db, limits);

        if (!options->addMember.empty()) {
            // A password on the command line shows in every user's process list.
            std::string password = options->addMember[1];
            if (password == "-" && !std::getline(std::cin, password))
                throw std::runtime_error("--add-member: no password on standard input");
            if (!password.empty() && password.back() == '\r')
                password.pop_back();
            addMember(storage, options->addMember[0], password, options->addMember[2]);
            std::printf("added member %s\n", options->addMember[0].c_str());
            return 0;
        }
        if (!options->history.empty()) {
            printHistory(storage, options->history, stdout);
            return 0;
        }
        if (options->demo && seedDemo(storage))
            std::fprintf(stderr, "seeded %s with the demo department\n", options->db.c_str());

        const int status = serve(*options, storage, signals);
        std::fprintf(stderr, "solvane-server stopped\n");
        return status;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "solvane-server: %s\n", e.what());
        return 1;
    }
}
