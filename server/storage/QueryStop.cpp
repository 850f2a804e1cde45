#include "storage/QueryStop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace appserver {

QueryStop::QueryStop() : eventFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

QueryStop::~QueryStop() {
    if (eventFd_ >= 0)
        close(eventFd_);
}

void QueryStop::raise() {
    if (raised_.exchange(true))
        return;
    if (eventFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(eventFd_, &one, sizeof one);
    }
}

} // namespace appserver
