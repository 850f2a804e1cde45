#pragma once
// Stands between the client and a server on 127.0.0.1 and cuts a connection
// at a chosen moment of a chosen request, as a network that drops or a
// program killed halfway would: before the server has seen the request, or
// after the server has carried it out but before its answer reaches the
// client, or answering for it as a reverse proxy does when the server went
// away under a request (502). Every other request passes unchanged. It runs on threads of its
// own, since the client blocks the thread it asks from.

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CuttingProxy {
public:
    enum class Cut { BeforeRequest, AfterAnswer, BadGatewayAfterAnswer };

    explicit CuttingProxy(int serverPort);
    ~CuttingProxy();
    CuttingProxy(const CuttingProxy &) = delete;
    CuttingProxy &operator=(const CuttingProxy &) = delete;

    // Listens on 127.0.0.1 on a port of its own; false when it cannot.
    bool start();
    int port() const { return port_; }

    // The next request whose body holds marker is cut at when.
    void cutNext(const std::string &marker, Cut when);
    // How many requests have been cut so far.
    int cuts() const { return cuts_; }

private:
    struct Pending {
        std::string marker;
        Cut when;
    };

    void acceptLoop();
    void serve(int client);
    std::optional<Cut> takeCutFor(const std::string &request);

    int serverPort_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> cuts_{0};
    std::mutex mutex_;
    std::vector<Pending> pending_;
    std::vector<int> open_; // sockets of the connections being served
    std::thread acceptor_;
    std::vector<std::thread> connections_;
};
