#include "support/RawSockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

sockaddr_in loopback(const std::string &address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    return where;
}

// A non-blocking socket bound to from and connecting to port; -1 on failure.
int startConnection(const std::string &from, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const sockaddr_in source = loopback(from, 0);
    const sockaddr_in target = loopback("127.0.0.1", port);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&source), sizeof source) != 0 ||
        (connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0 &&
         errno != EINPROGRESS)) {
        close(fd);
        return -1;
    }
    return fd;
}

int remainingMs(const QDeadlineTimer &deadline) {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

// Where one whole answer ends in text, or npos while it is not all in.
size_t answerEnd(const std::string &text) {
    const size_t headersEnd = text.find("\r\n\r\n");
    if (headersEnd == std::string::npos)
        return std::string::npos;
    size_t length = 0;
    const size_t field = text.find("Content-Length: ");
    if (field != std::string::npos && field < headersEnd)
        length = std::strtoul(text.c_str() + field + 16, nullptr, 10);
    const size_t end = headersEnd + 4 + length;
    return text.size() >= end ? end : std::string::npos;
}

// Reads from fd until one whole answer is in, the peer closes, or the deadline.
std::string readAnswer(int fd, const QDeadlineTimer &deadline) {
    std::string text;
    char buffer[65536];
    while (answerEnd(text) == std::string::npos) {
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, remainingMs(deadline)) <= 0)
            break;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

} // namespace

RawSockets::~RawSockets() {
    closeAll();
}

void RawSockets::closeAll() {
    for (int fd : sockets_)
        close(fd);
    sockets_.clear();
}

bool RawSockets::open(int port, int count) {
    for (int i = 0; i < count; ++i) {
        const int fd = startConnection(from_, port);
        if (fd < 0)
            return false;
        sockets_.push_back(fd);
    }
    return true;
}

int RawSockets::established(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    std::vector<pollfd> pending;
    for (int fd : sockets_)
        pending.push_back({fd, POLLOUT, 0});
    int connected = 0;
    while (!pending.empty() && !deadline.hasExpired()) {
        if (poll(pending.data(), pending.size(), remainingMs(deadline)) <= 0)
            break;
        std::vector<pollfd> still;
        for (const pollfd &entry : pending) {
            if (entry.revents == 0) {
                still.push_back({entry.fd, POLLOUT, 0});
                continue;
            }
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(entry.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            connected += error == 0 ? 1 : 0;
        }
        pending.swap(still);
    }
    return connected;
}

void RawSockets::sendToAll(const std::string &bytes) {
    for (int fd : sockets_)
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

int RawSockets::waitUntilOpenAtMost(int remaining, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        std::vector<pollfd> watched;
        for (int fd : sockets_)
            watched.push_back({fd, POLLIN | POLLRDHUP, 0});
        // Only closed connections wake this up: the server sends nothing else.
        const int ready =
            poll(watched.data(), watched.size(),
                 static_cast<int>(watched.size()) <= remaining ? 0 : remainingMs(deadline));
        std::vector<int> open;
        char byte;
        for (const pollfd &entry : watched) {
            const bool closed =
                entry.revents != 0 && (entry.revents & (POLLHUP | POLLERR | POLLRDHUP) ||
                                       recv(entry.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0);
            if (closed)
                close(entry.fd);
            else
                open.push_back(entry.fd);
        }
        sockets_.swap(open);
        if (static_cast<int>(sockets_.size()) <= remaining || ready <= 0 || deadline.hasExpired())
            return static_cast<int>(sockets_.size());
    }
}

int RawSockets::waitUntilReadable(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    int readable = 0;
    for (int fd : sockets_) {
        pollfd waiting{fd, POLLIN, 0};
        readable += poll(&waiting, 1, remainingMs(deadline)) > 0 ? 1 : 0;
    }
    return readable;
}

std::vector<int> RawSockets::readStatuses(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    std::vector<int> statuses;
    for (int fd : sockets_)
        statuses.push_back(statusOf(readAnswer(fd, deadline)));
    return statuses;
}

std::string RawSockets::exchange(int port, const std::string &request, int timeoutMs,
                                 const std::string &fromAddress) {
    QDeadlineTimer deadline(timeoutMs);
    const int fd = startConnection(fromAddress, port);
    if (fd < 0)
        return {};
    size_t sent = 0;
    while (sent < request.size() && !deadline.hasExpired()) {
        pollfd waiting{fd, POLLOUT, 0};
        if (poll(&waiting, 1, remainingMs(deadline)) <= 0)
            break;
        const ssize_t wrote = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (wrote < 0 && errno != EAGAIN)
            break; // the server may answer and close before taking it all
        sent += wrote > 0 ? static_cast<size_t>(wrote) : 0;
    }
    std::string answer = readAnswer(fd, deadline);
    close(fd);
    return answer;
}

int RawSockets::statusOf(const std::string &answer) {
    if (answer.compare(0, 5, "HTTP/") != 0)
        return 0;
    const size_t space = answer.find(' ');
    return space == std::string::npos ? 0 : std::atoi(answer.c_str() + space + 1);
}

std::string RawSockets::bodyOf(const std::string &answer) {
    const size_t headersEnd = answer.find("\r\n\r\n");
    return headersEnd == std::string::npos ? std::string() : answer.substr(headersEnd + 4);
}

long raiseDescriptorLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<long>(limit.rlim_cur);
}
