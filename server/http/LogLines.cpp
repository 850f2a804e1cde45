#include "LogLines.h"

#include <algorithm>
#include <cstdio>

namespace appserver {
namespace {

// Addresses remembered for the one-line-a-second rule; older ones go first.
constexpr size_t kPeersRemembered = 4096;
// Enough of a statement to tell its shape.
constexpr size_t kExcerptBytes = 80;

// A cut that does not split a UTF-8 character.
size_t characterStartAtOrBefore(std::string_view text, size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

std::string lineOf(const LoggedRequest &request, const std::string &more = {}) {
    std::string line = escapedForLog(request.method) + ' ' + escapedForLog(request.path) + ' ' +
                       std::to_string(request.status);
    char took[32];
    std::snprintf(took, sizeof took, " %.1fms rows=%zu", request.millis, request.rows);
    line += took;
    if (!request.failure.empty()) {
        line += " peer=" + escapedForLog(request.peer);
        line += " login=\"" + escapedForLog(request.login) + '"';
        line += " reason=\"" + escapedForLog(request.failure) + '"';
        if (!request.excerpt.empty())
            line += " statement=\"" + escapedForLog(request.excerpt) + '"';
    }
    return line + more + '\n';
}

} // namespace

std::string escapedForLog(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127 || c == '\\' || c == '"') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string statementExcerpt(std::string_view statement) {
    std::string shape;
    bool quoted = false;
    size_t at = 0;
    for (; at < statement.size() && shape.size() < kExcerptBytes; ++at) {
        const char c = statement[at];
        if (!quoted) {
            shape += c == '\'' ? "'?" : std::string(1, c);
            quoted = c == '\'';
        } else if (c == '\'') {
            if (at + 1 < statement.size() && statement[at + 1] == '\'')
                ++at; // a quote inside the value
            else {
                shape += '\'';
                quoted = false;
            }
        }
    }
    if (quoted)
        shape += '\'';
    if (at == statement.size())
        return shape;
    shape.resize(characterStartAtOrBefore(shape, std::min(shape.size(), kExcerptBytes)));
    return shape + "...";
}

void RequestLog::answered(const LoggedRequest &request) {
    std::fputs(lineOf(request).c_str(), stderr);
}

void RequestLog::refusedLogin(const LoggedRequest &request, Clock::time_point now) {
    const std::string peer(request.peer);
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
    std::fputs(lineOf(request, more).c_str(), stderr);
}

} // namespace appserver
