#include "admission/ReaderShares.h"

namespace appserver {

ReaderShares::Hold &ReaderShares::Hold::operator=(Hold &&other) noexcept {
    if (this != &other) {
        release();
        shares_ = other.shares_;
        login_ = std::move(other.login_);
        other.shares_ = nullptr;
    }
    return *this;
}

void ReaderShares::Hold::release() {
    if (shares_)
        shares_->give(login_);
    shares_ = nullptr;
}

ReaderShares::Hold ReaderShares::take(const std::string &login) {
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned &count = inFlight_[login];
    if (share_ > 0 && count >= share_) {
        if (count == 0)
            inFlight_.erase(login);
        return {};
    }
    ++count;
    return Hold(this, login);
}

void ReaderShares::give(const std::string &login) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = inFlight_.find(login);
    if (found != inFlight_.end() && --found->second == 0)
        inFlight_.erase(found);
}

size_t ReaderShares::loginsInFlight() {
    std::lock_guard<std::mutex> lock(mutex_);
    return inFlight_.size();
}

} // namespace appserver
