#pragma once
// Slows password guessing. Failed logins are counted per (login name,
// address) pair, per address and per login name across all addresses; past
// a few free ones each further failure shuts that pair, that address (for
// every login) or that login (from every address that has failed) out for a
// while, twice as long each time up to a cap. Guesses from one address thus
// never lock the member out at another: the pair waits first, the login
// across addresses only much later, and even then an address that has never
// failed still has its password checked. A member who mistypes a couple of
// times never notices, and a success clears the login's counts. An address's
// count is never cleared by a success, or one known password would buy an
// attacker fresh guesses; it is forgotten after a quiet spell instead.
// What it remembers is bounded; when full, it gives up first the entries
// whose loss does least harm: not waiting, with the fewest failures. An entry
// still waiting is never given up for a fresh one.

#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace appserver {

struct ThrottleSettings {
    unsigned freePerLogin = 5; // from one address
    // Higher: the members of one office may share an address.
    unsigned freePerAddress = 20;
    // A login's failures from every address together.
    unsigned freePerLoginEverywhere = 100;
    std::chrono::seconds firstWait{1};
    std::chrono::seconds longestWait{60};
    std::chrono::seconds forgetAfter{600}; // since the last failure
    size_t remembered = 10000;             // addresses, logins, and pairs of both
};

class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit LoginThrottle(ThrottleSettings settings = {}, Now now = Clock::now);

    enum class Scope { LoginFromAddress, Address, Login };
    struct Wait {
        std::chrono::seconds left; // whole seconds, at least 1
        Scope scope;
    };
    // Whether a request from address naming login (empty: none) must wait.
    std::optional<Wait> wait(const std::string &address, const std::string &login);
    void failed(const std::string &address, const std::string &login);
    void succeeded(const std::string &address, const std::string &login);

    size_t rememberedAddresses();
    size_t rememberedLogins();

    // ASCII lower case, as the Login table compares names; a very long name is
    // shortened to a prefix and a hash, so that it costs little to remember.
    static std::string loginKey(std::string_view login);

private:
    struct Entry {
        std::string key;
        unsigned failures = 0;
        Clock::time_point lastFailure;
        Clock::time_point waitUntil;
    };
    // Failures per key, the most recent first.
    class Tally {
    public:
        Tally(const ThrottleSettings &settings, unsigned free) : settings_(settings), free_(free) {}
        std::optional<std::chrono::seconds> waitLeft(const std::string &key, Clock::time_point now);
        bool knows(const std::string &key) const { return index_.count(key) > 0; }
        void fail(const std::string &key, Clock::time_point now);
        void clear(const std::string &key);
        size_t size() const { return index_.size(); }

    private:
        void forgetQuiet(Clock::time_point now);
        // Makes room for one more; false when every entry looked at is
        // still waiting, and so worth more than a fresh one.
        bool makeRoom(Clock::time_point now);
        const ThrottleSettings &settings_;
        unsigned free_;
        std::list<Entry> byRecency_;
        std::unordered_map<std::string, std::list<Entry>::iterator> index_;
    };

    static std::string pairKey(const std::string &address, const std::string &login);

    ThrottleSettings settings_;
    Now now_;
    std::mutex mutex_;
    Tally pairs_;
    Tally addresses_;
    Tally logins_;
};

} // namespace appserver
