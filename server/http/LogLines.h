#pragma once
// The server's log: one line per answered request on stderr. What a client
// sent is written escaped, so that no request can forge a line or send the
// operator's terminal control sequences; failed logins, and requests turned
// away for them, are named with their address and login name, at most a line
// a second per address.

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace appserver {

// Bytes below 32, 127 and the backslash as \xHH; everything else as it is.
std::string escapedForLog(std::string_view text);

class RequestLog {
public:
    using Clock = std::chrono::steady_clock;

    void answered(const std::string &httpMethod, const std::string &path, int status, double millis,
                  size_t rows);
    // A request refused for its credentials (401) or for too many failed
    // ones (429), from peer, naming userName.
    void refusedLogin(const std::string &httpMethod, const std::string &path, int status,
                      double millis, const std::string &peer, const std::string &userName,
                      Clock::time_point now = Clock::now());

private:
    struct Quiet {
        Clock::time_point loggedAt;
        size_t unlogged = 0;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Quiet> byPeer_;
};

} // namespace appserver
