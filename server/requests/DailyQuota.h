#pragma once
// What one login may add in a day: the bytes of the notices, and apart from
// them of the projects, tasks and flow nodes it writes. Counted per login,
// which a member cannot shed as a display name can be changed, so that no
// member can grow the lists every member reads past what the answers may
// hold. The counts start afresh each day (local time) and when the server
// starts.

#include <cstddef>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace appserver {

struct DailyBytes {
    size_t notices = 128 << 10;
    size_t rows = 1 << 20; // projects, tasks, flow nodes
};

class DailyQuota {
public:
    using Now = std::function<std::time_t()>;
    explicit DailyQuota(DailyBytes bytes, Now now = [] { return std::time(nullptr); })
        : bytes_(bytes), now_(std::move(now)) {}

    enum class What { Notices, Rows };
    // Takes bytes from login's share of today (login as LoginThrottle keys
    // it), or says why not.
    std::optional<std::string> take(const std::string &login, What what, size_t bytes);
    // Gives back what take() took for a change that was not made.
    void giveBack(const std::string &login, What what, size_t bytes);

private:
    struct Used {
        size_t notices = 0, rows = 0;
    };
    long today() const;

    const DailyBytes bytes_;
    Now now_;
    std::mutex mutex_;
    long day_ = -1;
    std::unordered_map<std::string, Used> used_;
};

} // namespace appserver
