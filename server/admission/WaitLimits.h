#pragma once
// Bounds the waits for changes, each of which holds a connection: per login
// (a member runs one client, or a few), per address (room is left there for
// the requests of the members behind it) and in total (room is left for
// the members not waiting yet, and for every member's other requests). A
// wait over a bound is told to come back later (429).

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace appserver {

struct WaitBounds {
    unsigned perLogin = 4;    // 0: no limit
    unsigned perAddress = 16; // 0: no limit
    unsigned total = 750;     // 0: no limit
};

class WaitLimits {
public:
    explicit WaitLimits(WaitBounds bounds) : bounds_(bounds) {}
    WaitLimits(const WaitLimits &) = delete;
    WaitLimits &operator=(const WaitLimits &) = delete;

    // One wait's place, given back when it goes.
    class Place {
    public:
        Place() = default;
        Place(Place &&other) noexcept { *this = std::move(other); }
        Place &operator=(Place &&other) noexcept;
        ~Place() { release(); }
        explicit operator bool() const { return limits_ != nullptr; }
        void release();

    private:
        friend class WaitLimits;
        Place(WaitLimits *limits, std::string address, std::string login)
            : limits_(limits), address_(std::move(address)), login_(std::move(login)) {}
        WaitLimits *limits_ = nullptr;
        std::string address_, login_;
    };

    enum class Over { Login, Address, Total };
    // A place for a wait from address (the throttle's key) by login (a
    // LoginThrottle::loginKey whose password has been checked), or the
    // bound it would break.
    struct Taken {
        Place place;
        Over over = Over::Total; // when place is empty
    };
    Taken take(const std::string &address, const std::string &login);

    size_t waiting();

private:
    void give(const std::string &address, const std::string &login);

    const WaitBounds bounds_;
    std::mutex mutex_;
    size_t total_ = 0;
    std::unordered_map<std::string, unsigned> byLogin_;   // only those with some
    std::unordered_map<std::string, unsigned> byAddress_; // only those with some
};

} // namespace appserver
