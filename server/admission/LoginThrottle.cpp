#include "admission/LoginThrottle.h"

#include <algorithm>

namespace appserver {
namespace {

constexpr size_t kLongestKey = 64;
// When the memory is full, this many of the oldest entries are looked at for
// the one to give up.
constexpr size_t kLookedAtForRoom = 256;

} // namespace

LoginThrottle::LoginThrottle(ThrottleSettings settings, Now now)
    : settings_(settings), now_(std::move(now)), pairs_(settings_, settings_.freePerLogin),
      addresses_(settings_, settings_.freePerAddress),
      logins_(settings_, settings_.freePerLoginEverywhere) {}

std::string LoginThrottle::pairKey(const std::string &address, const std::string &login) {
    // A login key holds no newline; an address neither.
    return login + '\n' + address;
}

std::string LoginThrottle::loginKey(std::string_view login) {
    std::string key(login.substr(0, kLongestKey));
    for (char &c : key)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    if (login.size() > kLongestKey) {
        std::string folded(login);
        for (char &c : folded)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        key += "#" + std::to_string(std::hash<std::string>{}(folded));
    }
    return key;
}

std::optional<LoginThrottle::Wait> LoginThrottle::wait(const std::string &address,
                                                       const std::string &login) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = now_();
    std::optional<Wait> longest;
    auto consider = [&longest](std::optional<std::chrono::seconds> left, Scope scope) {
        if (left && (!longest || *left > longest->left))
            longest = Wait{*left, scope};
    };
    consider(addresses_.waitLeft(address, now), Scope::Address);
    if (!login.empty()) {
        consider(pairs_.waitLeft(pairKey(address, login), now), Scope::LoginFromAddress);
        // An address that has never failed still has its password checked:
        // guesses from elsewhere do not lock the member out.
        if (addresses_.knows(address))
            consider(logins_.waitLeft(login, now), Scope::Login);
    }
    return longest;
}

void LoginThrottle::failed(const std::string &address, const std::string &login) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = now_();
    addresses_.fail(address, now);
    if (!login.empty()) {
        pairs_.fail(pairKey(address, login), now);
        logins_.fail(login, now);
    }
}

void LoginThrottle::succeeded(const std::string &address, const std::string &login) {
    std::lock_guard<std::mutex> lock(mutex_);
    pairs_.clear(pairKey(address, login));
    logins_.clear(login);
}

size_t LoginThrottle::rememberedAddresses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return addresses_.size();
}

size_t LoginThrottle::rememberedLogins() {
    std::lock_guard<std::mutex> lock(mutex_);
    return logins_.size();
}

std::optional<std::chrono::seconds> LoginThrottle::Tally::waitLeft(const std::string &key,
                                                                   Clock::time_point now) {
    const auto found = index_.find(key);
    if (found == index_.end() || found->second->waitUntil <= now)
        return std::nullopt;
    // Rounded up: a client that comes back after Retry-After is let in.
    const auto left = found->second->waitUntil - now;
    return std::max(std::chrono::seconds(1), std::chrono::ceil<std::chrono::seconds>(left));
}

void LoginThrottle::Tally::fail(const std::string &key, Clock::time_point now) {
    forgetQuiet(now);
    auto found = index_.find(key);
    if (found == index_.end()) {
        if (index_.size() >= settings_.remembered && !makeRoom(now))
            return;
        byRecency_.push_front(Entry{key, 0, now, now});
        found = index_.emplace(key, byRecency_.begin()).first;
    } else {
        byRecency_.splice(byRecency_.begin(), byRecency_, found->second);
    }
    Entry &entry = *found->second;
    ++entry.failures;
    entry.lastFailure = now;
    if (entry.failures > free_) {
        const unsigned doublings = std::min(entry.failures - free_ - 1, 20u);
        const std::chrono::seconds doubled = settings_.firstWait * (1 << doublings);
        entry.waitUntil = now + std::min(settings_.longestWait, doubled);
    }
}

void LoginThrottle::Tally::clear(const std::string &key) {
    const auto found = index_.find(key);
    if (found == index_.end())
        return;
    byRecency_.erase(found->second);
    index_.erase(found);
}

void LoginThrottle::Tally::forgetQuiet(Clock::time_point now) {
    // The oldest failure is last; an entry still waiting is kept however old.
    while (!byRecency_.empty() && now - byRecency_.back().lastFailure >= settings_.forgetAfter &&
           byRecency_.back().waitUntil <= now) {
        index_.erase(byRecency_.back().key);
        byRecency_.pop_back();
    }
}

bool LoginThrottle::Tally::makeRoom(Clock::time_point now) {
    // Among the oldest entries, the one not waiting with the fewest failures.
    auto best = byRecency_.end();
    size_t looked = 0;
    for (auto it = byRecency_.end(); it != byRecency_.begin() && looked < kLookedAtForRoom;
         ++looked) {
        --it;
        if (it->waitUntil > now)
            continue;
        if (best == byRecency_.end() || it->failures < best->failures)
            best = it;
        if (best->failures <= 1)
            break;
    }
    if (best == byRecency_.end())
        return false;
    index_.erase(best->key);
    byRecency_.erase(best);
    return true;
}

} // namespace appserver
