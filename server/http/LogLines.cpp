#include "http/LogLines.h"

#include "statements/SqlLexer.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

namespace appserver {
namespace {

// Addresses remembered for the one-line-a-second rule; older ones go first.
constexpr size_t kPeersRemembered = 4096;
// Enough of a statement to tell its shape.
constexpr size_t kExcerptBytes = 80;
// The key the addresses past kPeersRemembered are counted under.
const std::string kOtherAddresses = "(others)";

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

// Whether a quoted token ends with its closing quote, not cut off by the end.
bool closedQuote(std::string_view quoted) {
    const char close = quoted.front() == '[' ? ']' : quoted.front();
    for (size_t at = 1; at < quoted.size(); ++at) {
        if (quoted[at] != close)
            continue;
        if (close != ']' && at + 1 < quoted.size() && quoted[at + 1] == close)
            ++at; // a doubled quote inside the value
        else
            return at + 1 == quoted.size();
    }
    return false;
}

std::string cutAt(std::string shape, std::optional<size_t> firstQuote) {
    shape.resize(std::min(shape.size(), firstQuote.value_or(shape.size())));
    shape.resize(characterStartAtOrBefore(shape, std::min(shape.size(), kExcerptBytes)));
    return shape + "...";
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
    std::optional<size_t> firstQuote; // where in shape
    SqlLexer lexer(statement);
    const char *previousEnd = statement.data();
    for (SqlToken token = lexer.next(); token.kind != SqlToken::End; token = lexer.next()) {
        if (shape.size() >= kExcerptBytes) {
            // Whether the rest lexes decides whether the excerpt stands.
            while (token.kind != SqlToken::End && (token.kind != SqlToken::Quoted ||
                                                   closedQuote(token.text)))
                token = lexer.next();
            if (token.kind != SqlToken::End)
                return cutAt(shape, firstQuote);
            shape.resize(characterStartAtOrBefore(shape, kExcerptBytes));
            return shape + "...";
        }
        if (token.text.data() != previousEnd && !shape.empty())
            shape += ' '; // blanks and comments: a comment may hold anything
        previousEnd = token.text.data() + token.text.size();
        if (token.kind != SqlToken::Quoted) {
            shape += token.text;
            continue;
        }
        if (!firstQuote)
            firstQuote = shape.size();
        if (!closedQuote(token.text))
            return cutAt(shape, firstQuote);
        shape += token.text.front();
        shape += '?';
        shape += token.text.back();
    }
    return shape;
}

void RequestLog::answered(const LoggedRequest &request) {
    std::fputs(lineOf(request).c_str(), stderr);
}

void RequestLog::refused(const LoggedRequest &request, const std::string &addressKey,
                         Clock::time_point now) {
    size_t unlogged = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (byPeer_.size() >= kPeersRemembered)
            for (auto it = byPeer_.begin(); it != byPeer_.end();)
                it = now - it->second.secondFrom >= std::chrono::seconds(1) ? byPeer_.erase(it)
                                                                            : std::next(it);
        // Past the bound, the addresses not yet remembered share one count.
        const std::string &key = byPeer_.size() < kPeersRemembered || byPeer_.count(addressKey)
                                     ? addressKey
                                     : kOtherAddresses;
        Quiet &quiet = byPeer_.try_emplace(key, Quiet{now, 0, 0}).first->second;
        if (now - quiet.secondFrom >= std::chrono::seconds(1)) {
            quiet.secondFrom = now;
            quiet.logged = 0;
        }
        if (quiet.logged >= kLinesPerSecond) {
            ++quiet.unlogged;
            return;
        }
        ++quiet.logged;
        unlogged = std::exchange(quiet.unlogged, 0);
    }
    std::string more;
    if (unlogged > 0)
        more = " (" + std::to_string(unlogged) + " more from there not logged)";
    std::fputs(lineOf(request, more).c_str(), stderr);
}

} // namespace appserver
