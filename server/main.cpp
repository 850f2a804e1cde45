// solvane-server: the application server every Solvane client talks to.

#include "admin_tasks.h"
#include "backup.h"
#include "http_api.h"
#include "options.h"
#include "session_pool.h"
#include "solvane_version.h"
#include "sqlite_storage.h"

#include <httplib.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace appserver;

namespace {

// Blocks SIGINT and SIGTERM in every thread and stops the server from a thread
// of its own when one arrives, so requests under way can finish.
class StopOnSignal {
public:
    StopOnSignal() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    }
    void watch(httplib::Server &server) {
        watcher_ = std::thread([this, &server] {
            int received = 0;
            sigwait(&signals_, &received);
            if (!finished_)
                server.stop();
        });
    }
    // Called once the server has stopped listening, before it goes away.
    void finish() {
        if (!watcher_.joinable())
            return;
        finished_ = true;
        pthread_kill(watcher_.native_handle(), SIGTERM); // wakes it if no signal came
        watcher_.join();
    }
    ~StopOnSignal() { finish(); }

private:
    sigset_t signals_;
    std::thread watcher_;
    std::atomic<bool> finished_{false};
};

} // namespace

int main(int argc, char **argv) {
    std::string error;
    auto options = parseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "solvane-server: %s\n%s", error.c_str(), usageText());
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
    if (auto status = runDatabaseCommands(*options))
        return *status;
    StopOnSignal stopOnSignal; // before any thread starts, so all inherit the mask

    try {
        SqliteLimits limits;
        limits.statementMillis = options->statementMillis;
        SqliteStorage storage(options->db, limits);

        if (!options->addMember.empty()) {
            addMember(storage, options->addMember[0], options->addMember[1],
                      options->addMember[2]);
            std::printf("added member %s\n", options->addMember[0].c_str());
            return 0;
        }
        if (options->demo && seedDemo(storage))
            std::fprintf(stderr, "seeded %s with the demo department\n", options->db.c_str());

        SessionPool sessions(storage);
        HttpApi api(sessions, options->context);
        httplib::Server server;
        api.mount(server);
        const int threads = options->threads;
        server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        // A kept-alive connection holds a worker; passing it on now and then keeps
        // clients beyond the thread count from waiting for ever.
        server.set_keep_alive_max_count(100);
        server.set_keep_alive_timeout(5);
        server.set_tcp_nodelay(true);

        int port = options->port;
        if (port == 0)
            port = server.bind_to_any_port(options->listen);
        else if (!server.bind_to_port(options->listen, port))
            port = -1;
        if (port < 0) {
            std::fprintf(stderr, "solvane-server: cannot listen on %s:%d\n",
                         options->listen.c_str(), options->port);
            return 1;
        }
        std::printf("solvane-server listening on %s:%d\n", options->listen.c_str(), port);
        std::fflush(stdout);
        stopOnSignal.watch(server);
        server.listen_after_bind();
        stopOnSignal.finish();
        std::fprintf(stderr, "solvane-server stopped\n");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "solvane-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
