#pragma once
// The server's log: one line per answered request on stderr. What a client
// sent is written escaped, so that no request can forge a line or send the
// operator's terminal control sequences. A failed request's line names why,
// whom (login and peer) and what (the statement's beginning, its values left
// out); failed logins, and requests turned away for them, at most a line a
// second per address.

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace appserver {

// Bytes below 32, 127 and the backslash as \xHH; everything else as it is.
std::string escapedForLog(std::string_view text);

// The beginning of a statement for the log, its quoted values replaced by
// '?': they are the members' data, passwords among them.
std::string statementExcerpt(std::string_view statement);

struct LoggedRequest {
    std::string_view method, path;
    int status = 0;
    double millis = 0;
    size_t rows = 0;
    std::string_view failure; // the reason the member was given; empty when it went well
    std::string_view peer, login;
    std::string_view excerpt; // statementExcerpt() of what was sent
};

class RequestLog {
public:
    using Clock = std::chrono::steady_clock;

    void answered(const LoggedRequest &request);
    // A request refused for its credentials (401) or for too many failed
    // ones (429).
    void refusedLogin(const LoggedRequest &request, Clock::time_point now = Clock::now());

private:
    struct Quiet {
        Clock::time_point loggedAt;
        size_t unlogged = 0;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Quiet> byPeer_;
};

} // namespace appserver
