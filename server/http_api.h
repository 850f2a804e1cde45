#pragma once
// The wire protocol: a handshake and the three server methods under one
// context path, answered in JSON.

#include "session_pool.h"

#include <string>

namespace httplib {
class Server;
}

namespace appserver {

inline constexpr size_t kMaxBodyBytes = 1 << 20;

struct Reply {
    int status = 200;
    std::string body;  // JSON
    size_t rows = 0;   // rows returned or changed, for the log
};

class HttpApi {
public:
    // context is the path segment the methods live under, such as "datasnap/".
    HttpApi(SessionPool &sessions, std::string context);

    // Answers one request; independent of the transport so it can be reasoned
    // about on its own.
    Reply handle(const std::string &httpMethod, const std::string &path,
                 const std::string &body);

    // Routes every request of server to handle() and logs it.
    void mount(httplib::Server &server);

private:
    Reply runStatement(Method method, const std::string &body);

    SessionPool &sessions_;
    std::string root_;      // "/datasnap/"
    std::string methods_;   // "/datasnap/rest/TZelServerDataBase/"
};

std::string errorBody(const std::string &message);

} // namespace appserver
