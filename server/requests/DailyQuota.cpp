#include "requests/DailyQuota.h"

#include "requests/Reply.h"

namespace appserver {

long DailyQuota::today() const {
    const std::time_t now = now_();
    std::tm local{};
    localtime_r(&now, &local);
    return long(local.tm_year) * 400 + local.tm_yday;
}

std::optional<std::string> DailyQuota::take(const std::string &login, What what, size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const long day = today(); day != day_) {
        used_.clear();
        day_ = day;
    }
    Used &used = used_[login];
    size_t &count = what == What::Notices ? used.notices : used.rows;
    const size_t limit = what == What::Notices ? bytes_.notices : bytes_.rows;
    if (count + bytes > limit)
        return std::string("this login has added as much today as a member may add in a day (") +
               sizeText(limit) + (what == What::Notices ? " of notices" : " of projects and tasks") +
               "): try again tomorrow";
    count += bytes;
    return std::nullopt;
}

void DailyQuota::giveBack(const std::string &login, What what, size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = used_.find(login);
    if (found == used_.end())
        return; // a new day has begun meanwhile
    size_t &count = what == What::Notices ? found->second.notices : found->second.rows;
    count -= std::min(count, bytes);
}

} // namespace appserver
