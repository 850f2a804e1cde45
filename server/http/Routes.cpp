#include "http/Routes.h"

#include "statements/Utf8.h"

#include <nlohmann/json.hpp>

#include <cstring>

namespace appserver {
namespace {

std::string normalizedContext(std::string context) {
    while (!context.empty() && context.front() == '/')
        context.erase(context.begin());
    if (context.empty() || context.back() != '/')
        context += '/';
    return "/" + context;
}

bool methodFromName(const std::string &name, Method &method) {
    if (name == "OpenSQL")
        method = Method::OpenSQL;
    else if (name == "ExecSQL")
        method = Method::ExecSQL;
    else if (name == "DelSQL")
        method = Method::DelSQL;
    else
        return false;
    return true;
}

} // namespace

Routes::Routes(std::string context)
    : root_(normalizedContext(std::move(context))), methods_(root_ + "rest/TZelServerDataBase/"),
      changes_(root_ + "changes") {}

std::variant<Method, ChangesWait, Reply> Routes::route(const std::string &httpMethod,
                                                       const std::string &path) const {
    const bool isGet = httpMethod == "GET" || httpMethod == "HEAD";
    if (path == root_ || path + "/" == root_) {
        if (!isGet)
            return errorReply(405, "the handshake at " + root_ + " takes GET");
        const nlohmann::json hello = {{"server", "TZelServerDataBase"},
                                      {"methods", {"OpenSQL", "ExecSQL", "DelSQL"}}};
        return Reply{200, hello.dump()};
    }
    if (path == changes_) {
        if (httpMethod != "GET")
            return errorReply(405, "the wait for changes at " + changes_ + " takes GET");
        return ChangesWait{};
    }
    Method method;
    if (path.rfind(methods_, 0) != 0 || !methodFromName(path.substr(methods_.size()), method))
        return errorReply(404, "no such path: " + path);
    if (httpMethod != "POST")
        return errorReply(405, std::string(methodName(method)) + " takes POST");
    return method;
}

std::optional<Reply> Routes::refuseBody(const std::string &body) const {
    if (body.empty())
        return errorReply(400, "the request body must hold one SQL statement");
    if (body.size() > kMaxBodyBytes)
        return errorReply(413, "the statement is longer than " + sizeText(kMaxBodyBytes));
    // SQLite would read the text only up to it and run what comes before.
    if (std::memchr(body.data(), '\0', body.size()))
        return errorReply(400, "the request body holds a NUL byte");
    if (!isValidUtf8(body))
        return errorReply(400, "the request body is not valid UTF-8");
    return std::nullopt;
}

} // namespace appserver
