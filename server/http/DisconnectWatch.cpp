#include "http/DisconnectWatch.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace appserver {
namespace {

constexpr uint64_t kWakeId = 0;

} // namespace

DisconnectWatch::DisconnectWatch()
    : epoll_(epoll_create1(EPOLL_CLOEXEC)), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (epoll_ < 0 || wake_ < 0)
        return; // nothing is watched: queries run to their end as before
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeId;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
    thread_ = std::thread([this] { run(); });
}

DisconnectWatch::~DisconnectWatch() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (wake_ >= 0)
        close(wake_);
    if (epoll_ >= 0)
        close(epoll_);
}

uint64_t DisconnectWatch::watch(int socket, std::function<void()> gone) {
    if (!thread_.joinable() || socket < 0)
        return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t id = nextId_++;
    // Only a hang-up wakes the thread; data a client sends ahead (a
    // pipelined request) waits in the socket for libmicrohttpd.
    epoll_event event{};
    event.events = EPOLLRDHUP | EPOLLONESHOT;
    event.data.u64 = id;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, socket, &event) != 0)
        return 0;
    watched_.emplace(id, Watched{socket, std::move(gone)});
    return id;
}

void DisconnectWatch::forget(uint64_t id) {
    if (id == 0)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = watched_.find(id);
    if (found == watched_.end())
        return;
    epoll_ctl(epoll_, EPOLL_CTL_DEL, found->second.socket, nullptr);
    watched_.erase(found);
}

void DisconnectWatch::run() {
    epoll_event events[64];
    for (;;) {
        const int ready = epoll_wait(epoll_, events, 64, -1);
        if (ready < 0 && errno != EINTR)
            return;
        std::vector<std::function<void()>> gone;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (int i = 0; i < ready; ++i) {
                if (events[i].data.u64 == kWakeId)
                    return;
                // Forgotten meanwhile: the request has been answered.
                const auto found = watched_.find(events[i].data.u64);
                if (found == watched_.end())
                    continue;
                gone.push_back(std::move(found->second.gone));
                epoll_ctl(epoll_, EPOLL_CTL_DEL, found->second.socket, nullptr);
                watched_.erase(found);
            }
        }
        // Outside the lock: a callback may answer its request, which forgets it.
        for (const auto &call : gone)
            call();
    }
}

} // namespace appserver
