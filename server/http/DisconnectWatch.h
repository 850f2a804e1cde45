#pragma once
// Watches the sockets of suspended requests, which libmicrohttpd does not
// look at while they wait: when a client closes its connection, the query
// it was waiting for is stopped, or its wait for changes ended. One thread
// and one epoll set serve every watched connection.
//
// A client that only half-closes its side (shutdown for writing) and still
// waits for the answer is taken as gone: HTTP clients do not do that.

#include <cstdint>
#include <functional>
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

    // Calls gone (once, on the watch's thread) when the peer of socket has
    // closed; the id to forget it by, 0 when it cannot be watched.
    uint64_t watch(int socket, std::function<void()> gone);
    // Before the socket is handed back to libmicrohttpd, which may close it.
    // gone may still be running on the watch's thread, or be called after.
    void forget(uint64_t id);

private:
    void run();

    struct Watched {
        int socket;
        std::function<void()> gone;
    };
    int epoll_ = -1;
    int wake_ = -1; // an eventfd that ends run()
    std::mutex mutex_;
    uint64_t nextId_ = 1;
    std::unordered_map<uint64_t, Watched> watched_;
    std::thread thread_;
};

} // namespace appserver
