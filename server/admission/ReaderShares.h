#pragma once
// Keeps one member from holding every reader: a login may have only so many
// queries in flight, from acceptance to answer. One more is told to come back
// shortly (503) instead of being queued ahead of the other members' queries.

#include <mutex>
#include <string>
#include <unordered_map>

namespace appserver {

class ReaderShares {
public:
    // share: queries one login may have in flight; 0: no limit.
    explicit ReaderShares(unsigned share) : share_(share) {}
    ReaderShares(const ReaderShares &) = delete;
    ReaderShares &operator=(const ReaderShares &) = delete;

    // One of a login's places, given back when it goes.
    class Hold {
    public:
        Hold() = default;
        Hold(Hold &&other) noexcept { *this = std::move(other); }
        Hold &operator=(Hold &&other) noexcept;
        ~Hold() { release(); }
        explicit operator bool() const { return shares_ != nullptr; }
        void release();

    private:
        friend class ReaderShares;
        Hold(ReaderShares *shares, std::string login) : shares_(shares), login_(std::move(login)) {}
        ReaderShares *shares_ = nullptr;
        std::string login_;
    };

    // A place for login (a key from LoginThrottle::loginKey), or an empty
    // hold when it has all of its share in flight already.
    Hold take(const std::string &login);
    unsigned share() const { return share_; }
    size_t loginsInFlight();

private:
    void give(const std::string &login);

    const unsigned share_;
    std::mutex mutex_;
    std::unordered_map<std::string, unsigned> inFlight_; // only logins with some
};

} // namespace appserver
