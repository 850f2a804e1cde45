#include "support/CuttingProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// One whole HTTP message read from fd (headers and a Content-Length body);
// empty when the peer closed or fails first.
std::string readMessage(int fd) {
    std::string message;
    size_t bodyStart = std::string::npos;
    size_t length = 0;
    char buffer[16384];
    for (;;) {
        if (bodyStart != std::string::npos && message.size() >= bodyStart + length)
            return message;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        message.append(buffer, size_t(got));
        if (bodyStart == std::string::npos) {
            const size_t end = message.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            bodyStart = end + 4;
            std::string headers = message.substr(0, end);
            std::transform(headers.begin(), headers.end(), headers.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            const size_t field = headers.find("\r\ncontent-length:");
            if (field != std::string::npos)
                length = std::stoul(headers.substr(field + 17));
        }
    }
}

bool sendAll(int fd, const std::string &bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0)
            return false;
        sent += size_t(put);
    }
    return true;
}

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

CuttingProxy::CuttingProxy(int serverPort) : serverPort_(serverPort) {}

CuttingProxy::~CuttingProxy() {
    stopping_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : open_)
            shutdown(fd, SHUT_RDWR); // wakes the threads blocked on them
    }
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto &connection : connections_)
        connection.join();
    if (listener_ >= 0)
        close(listener_);
}

bool CuttingProxy::start() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return false;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
    return true;
}

void CuttingProxy::cutNext(const std::string &marker, Cut when) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({marker, when});
}

std::optional<CuttingProxy::Cut> CuttingProxy::takeCutFor(const std::string &request) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it)
        if (request.find(it->marker) != std::string::npos) {
            const Cut when = it->when;
            pending_.erase(it);
            return when;
        }
    return std::nullopt;
}

void CuttingProxy::acceptLoop() {
    while (!stopping_) {
        pollfd ready{listener_, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0)
            continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            continue;
        std::lock_guard<std::mutex> lock(mutex_);
        open_.push_back(client);
        connections_.emplace_back([this, client] { serve(client); });
    }
}

void CuttingProxy::serve(int client) {
    int server = -1;
    for (;;) {
        const std::string request = readMessage(client);
        if (request.empty() || stopping_)
            break;
        const auto cut = takeCutFor(request);
        if (cut == Cut::BeforeRequest) {
            ++cuts_;
            break;
        }
        if (server < 0) {
            server = connectTo(serverPort_);
            std::lock_guard<std::mutex> lock(mutex_);
            open_.push_back(server);
        }
        std::string answer;
        if (server < 0 || !sendAll(server, request) || (answer = readMessage(server)).empty())
            break;
        if (cut == Cut::AfterAnswer) {
            ++cuts_;
            break;
        }
        if (cut == Cut::BadGatewayAfterAnswer) {
            ++cuts_;
            static const std::string body =
                "{\"result\":false,\"error\":\"the server went away\",\"code\":\"unavailable\"}";
            answer = "HTTP/1.1 502 Bad Gateway\r\nContent-Type: application/json\r\n"
                     "Content-Length: " +
                     std::to_string(body.size()) + "\r\n\r\n" + body;
        }
        if (!sendAll(client, answer))
            break;
    }
    // Closed only here, after shutdown(): the destructor may still shut them down.
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : {client, server})
        if (fd >= 0) {
            shutdown(fd, SHUT_RDWR);
            open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
            close(fd);
        }
}
