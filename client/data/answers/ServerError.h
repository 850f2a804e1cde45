#pragma once
// A request to the application server failed. The transport raises it; the
// data access turns it into a failure value and never lets it through.

#include <stdexcept>
#include <string>

class ServerError : public std::runtime_error {
public:
    enum class Kind {
        Unreached,  // no connection, or the handshake failed: nothing was carried out
        AnswerLost, // sent, but no answer came back: a change may have been stored
        Refused,    // the server answered no (or with something that is no answer)
        Busy,       // the server asks to try again shortly
    };

    ServerError(Kind kind, const std::string &what, std::string code = {},
                std::string reason = {})
        : std::runtime_error(what), kind_(kind), code_(std::move(code)),
          reason_(reason.empty() ? what : std::move(reason)) {}
    // An answer that cannot be read: refused, as far as the member can tell.
    explicit ServerError(const std::string &what) : ServerError(Kind::Refused, what) {}

    Kind kind() const { return kind_; }
    // The server's stable code for a refusal ("not-creator", "busy", ...); may be empty.
    const std::string &code() const { return code_; }
    // The server's own explanation, in its words.
    const std::string &reason() const { return reason_; }

private:
    Kind kind_;
    std::string code_;
    std::string reason_;
};
