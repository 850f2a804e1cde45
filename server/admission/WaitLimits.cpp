#include "admission/WaitLimits.h"

namespace appserver {
namespace {

void lessOf(std::unordered_map<std::string, unsigned> &counts, const std::string &key) {
    const auto found = counts.find(key);
    if (found != counts.end() && --found->second == 0)
        counts.erase(found);
}

unsigned countOf(const std::unordered_map<std::string, unsigned> &counts, const std::string &key) {
    const auto found = counts.find(key);
    return found == counts.end() ? 0 : found->second;
}

} // namespace

WaitLimits::Place &WaitLimits::Place::operator=(Place &&other) noexcept {
    if (this != &other) {
        release();
        limits_ = other.limits_;
        address_ = std::move(other.address_);
        login_ = std::move(other.login_);
        other.limits_ = nullptr;
    }
    return *this;
}

void WaitLimits::Place::release() {
    if (limits_)
        limits_->give(address_, login_);
    limits_ = nullptr;
}

WaitLimits::Taken WaitLimits::take(const std::string &address, const std::string &login) {
    std::lock_guard<std::mutex> lock(mutex_);
    Taken taken;
    if (bounds_.perLogin > 0 && countOf(byLogin_, login) >= bounds_.perLogin)
        taken.over = Over::Login;
    else if (bounds_.perAddress > 0 && countOf(byAddress_, address) >= bounds_.perAddress)
        taken.over = Over::Address;
    else if (bounds_.total > 0 && total_ >= bounds_.total)
        taken.over = Over::Total;
    else {
        ++byLogin_[login];
        ++byAddress_[address];
        ++total_;
        taken.place = Place(this, address, login);
    }
    return taken;
}

size_t WaitLimits::waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_;
}

void WaitLimits::give(const std::string &address, const std::string &login) {
    std::lock_guard<std::mutex> lock(mutex_);
    lessOf(byLogin_, login);
    lessOf(byAddress_, address);
    --total_;
}

} // namespace appserver
