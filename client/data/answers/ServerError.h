#pragma once
#include <stdexcept>
#include <string>

// A request to the application server failed: unreachable, refused or malformed.
class ServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// No connection to the server could be made, or the handshake failed:
// nothing the request asked for was carried out.
class UnreachableError : public ServerError {
public:
    using ServerError::ServerError;
};

// The server did not accept the member's credentials (HTTP 401).
class UnauthorizedError : public ServerError {
public:
    using ServerError::ServerError;
};

// The server refused the request (HTTP 403); reason() is its own explanation.
class RefusedError : public ServerError {
public:
    RefusedError(const std::string &what, std::string reason)
        : ServerError(what), reason_(std::move(reason)) {}
    const std::string &reason() const { return reason_; }

private:
    std::string reason_;
};

// The request went out but no answer came back (the connection broke or the
// time ran out): a change may have been stored or not; only reading it back
// tells.
class AnswerLostError : public ServerError {
public:
    using ServerError::ServerError;
};
