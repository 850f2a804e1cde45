#include "LogLines.h"

#include <cstdio>

namespace appserver {
namespace {

// Addresses remembered for the one-line-a-second rule; older ones go first.
constexpr size_t kPeersRemembered = 4096;

} // namespace

std::string escapedForLog(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127 || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

void RequestLog::answered(const std::string &httpMethod, const std::string &path, int status,
                          double millis, size_t rows) {
    std::fprintf(stderr, "%s %s %d %.1fms rows=%zu\n", escapedForLog(httpMethod).c_str(),
                 escapedForLog(path).c_str(), status, millis, rows);
}

void RequestLog::refusedLogin(const std::string &httpMethod, const std::string &path, int status,
                              double millis, const std::string &peer, const std::string &userName,
                              Clock::time_point now) {
    size_t unlogged = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (byPeer_.size() >= kPeersRemembered)
            for (auto it = byPeer_.begin(); it != byPeer_.end();)
                it = now - it->second.loggedAt >= std::chrono::seconds(1) ? byPeer_.erase(it)
                                                                          : std::next(it);
        auto [found, fresh] = byPeer_.try_emplace(peer, Quiet{now, 0});
        if (!fresh) {
            if (now - found->second.loggedAt < std::chrono::seconds(1)) {
                ++found->second.unlogged;
                return;
            }
            unlogged = found->second.unlogged;
            found->second = Quiet{now, 0};
        }
    }
    std::string more;
    if (unlogged > 0)
        more = " (" + std::to_string(unlogged) + " more from there not logged)";
    std::fprintf(stderr, "%s %s %d %.1fms rows=0 peer=%s login=\"%s\"%s\n",
                 escapedForLog(httpMethod).c_str(), escapedForLog(path).c_str(), status, millis,
                 escapedForLog(peer).c_str(), escapedForLog(userName).c_str(), more.c_str());
}

} // namespace appserver
