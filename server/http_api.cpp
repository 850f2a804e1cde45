#include "http_api.h"

#include "json_text.h"
#include "utf8.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>

namespace appserver {
namespace {

using nlohmann::json;

std::string dump(const json &value) {
    // Stored text that is not valid UTF-8 must not break the answer.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

Reply errorReply(int status, const std::string &message) {
    return Reply{status, errorBody(message), 0};
}

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

void logLine(const std::string &httpMethod, const std::string &path, int status,
             double millis, size_t rows) {
    std::fprintf(stderr, "%s %s %d %.1fms rows=%zu\n", httpMethod.c_str(), path.c_str(), status,
                 millis, rows);
}

} // namespace

std::string errorBody(const std::string &message) { return dump(json{{"error", message}}); }

HttpApi::HttpApi(SessionPool &sessions, std::string context)
    : sessions_(sessions), root_(normalizedContext(std::move(context))),
      methods_(root_ + "rest/TZelServerDataBase/") {}

Reply HttpApi::handle(const std::string &httpMethod, const std::string &path,
                      const std::string &body) {
    const bool isGet = httpMethod == "GET" || httpMethod == "HEAD";
    if (path == root_ || path + "/" == root_) {
        if (!isGet)
            return errorReply(405, "the handshake at " + root_ + " takes GET");
        json hello = {{"server", "TZelServerDataBase"},
                      {"methods", {"OpenSQL", "ExecSQL", "DelSQL"}}};
        return Reply{200, dump(hello), 0};
    }
    Method method;
    if (path.rfind(methods_, 0) != 0 || !methodFromName(path.substr(methods_.size()), method))
        return errorReply(404, "no such path: " + path);
    if (httpMethod != "POST")
        return errorReply(405, std::string(methodName(method)) + " takes POST");
    if (body.empty())
        return errorReply(400, "the request body must hold one SQL statement");
    if (body.size() > kMaxBodyBytes)
        return errorReply(413, "the statement is longer than 1 MiB");
    if (!isValidUtf8(body))
        return errorReply(400, "the request body is not valid UTF-8");
    return runStatement(method, body);
}

Reply HttpApi::runStatement(Method method, const std::string &body) {
    StatementResult result;
    {
        auto session = sessions_.borrow();
        result = session->run(method, body);
    }
    switch (result.outcome) {
    case Outcome::Empty:
        return errorReply(400, result.error);
    case Outcome::Refused:
        return errorReply(403, result.error);
    case Outcome::Failed:
        if (method == Method::OpenSQL)
            return errorReply(400, result.error);
        return Reply{200, dump(json{{"result", false}, {"error", result.error}}), 0};
    case Outcome::Ok:
        break;
    }
    if (method != Method::OpenSQL)
        return Reply{200, dump(json{{"result", true}, {"changes", result.changes}}),
                     static_cast<size_t>(result.changes)};

    return Reply{200, rowsAnswer(result), result.rows.size()};
}

void HttpApi::mount(httplib::Server &server) {
    auto serve = [this](const httplib::Request &request, httplib::Response &response) {
        const auto started = std::chrono::steady_clock::now();
        Reply reply = handle(request.method, request.path, request.body);
        response.status = reply.status;
        response.set_content(reply.body, "application/json");
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - started;
        logLine(request.method, request.path, reply.status, took.count(), reply.rows);
    };
    const std::string any = "/.*";
    server.Get(any, serve);
    server.Post(any, serve);
    server.Put(any, serve);
    server.Patch(any, serve);
    server.Delete(any, serve);
    server.Options(any, serve);

    // Errors that the HTTP layer answers by itself (a body over the cap, a
    // malformed request) get the same JSON shape as ours.
    server.set_payload_max_length(kMaxBodyBytes);
    httplib::Server::HandlerWithResponse answerError = [](const httplib::Request &request,
                                                          httplib::Response &response) {
        if (!response.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        std::string message =
            response.status == 413 ? "the statement is longer than 1 MiB"
            : response.status == 400
                ? "malformed request: a POST needs a Content-Length and one SQL statement"
                : "the request could not be handled";
        response.set_content(errorBody(message), "application/json");
        logLine(request.method, request.path, response.status, 0.0, 0);
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(answerError);
}

} // namespace appserver
