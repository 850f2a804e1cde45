#pragma once
// The server's log: one line per answered request on stderr. What a client
// sent is written escaped, so that no request can forge a line or send the
// operator's terminal control sequences. A failed request's line names why,
// whom (login and peer) and what (the statement's beginning, its values left
// out). Refusals are logged at most a few lines a second per address, the
// next line counting those left out, so that nobody can flood the log.

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace appserver {

// Bytes below 32, 127 and the backslash as \xHH; everything else as it is.
std::string escapedForLog(std::string_view text);

// The beginning of a statement for the log, its quoted values replaced by
// '?': they are the members' data, passwords among them. A statement that
// does not lex (a quote left open) is cut at its first quote: where its
// values begin and end cannot be told.
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
    // A request refused or failed, from the address with this key (the
    // throttle's, an IPv6 peer's /64).
    void refused(const LoggedRequest &request, const std::string &addressKey,
                 Clock::time_point now = Clock::now());

    static constexpr size_t kLinesPerSecond = 5; // per address

private:
    struct Quiet {
        Clock::time_point secondFrom;
        size_t logged = 0;
        size_t unlogged = 0;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Quiet> byPeer_;
};

} // namespace appserver
