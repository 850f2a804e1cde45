#pragma once
// The paths the server answers: the handshake at the context path, the
// three statement methods and the wait for changes beneath it, decided from
// the request line alone; and the bodies a statement method cannot take.

#include "requests/Reply.h"
#include "statements/ServerMethods.h"

#include <optional>
#include <string>
#include <variant>

namespace appserver {

inline constexpr size_t kMaxBodyBytes = 1 << 20;

// GET {context}changes?since=TOKEN: wait until the tables change.
struct ChangesWait {};

class Routes {
public:
    // context is the path segment the methods live under, such as "datasnap/".
    explicit Routes(std::string context);

    // Decided once a request's headers are in: the statement method it calls,
    // the wait for changes, or the reply it gets without the database.
    std::variant<Method, ChangesWait, Reply> route(const std::string &httpMethod,
                                                   const std::string &path) const;

    // The reply to a body that cannot be run, if it cannot.
    std::optional<Reply> refuseBody(const std::string &body) const;

private:
    std::string root_;    // "/datasnap/"
    std::string methods_; // "/datasnap/rest/TZelServerDataBase/"
    std::string changes_; // "/datasnap/changes"
};

} // namespace appserver
