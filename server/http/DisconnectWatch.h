#pragma once
// Watches the sockets of suspended requests, which libmicrohttpd does not
// look at while they wait for a worker: when a client closes its
// connection, the query it was waiting for is stopped. One thread and one
// epoll set serve every watched connection.
//
// A client that only half-closes its side (shutdown for writing) and still
// waits for the answer is taken as gone: HTTP clients do not do that.

#include "QueryStop.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace appserver {

class DisconnectWatch {
public:
    DisconnectWatch();
    ~DisconnectWatch();
    DisconnectWatch(const DisconnectWatch &) = delete;
    DisconnectWatch &operator=(const DisconnectWatch &) = delete;

    // Raises stop once the peer of socket has closed; the id to forget it
    // by, 0 when it cannot be watched (the query then simply runs).
    uint64_t watch(int socket, std::shared_ptr<QueryStop> stop);
    // Before the socket is handed back to libmicrohttpd, which may close it.
    void forget(uint64_t id);

private:
    void run();

    struct Watched {
        int socket;
        std::shared_ptr<QueryStop> stop;
    };
    int epoll_ = -1;
    int wake_ = -1; // an eventfd that ends run()
    std::mutex mutex_;
    uint64_t nextId_ = 1;
    std::unordered_map<uint64_t, Watched> watched_;
    std::thread thread_;
};

} // namespace appserver
