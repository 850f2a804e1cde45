#include "requests/Reply.h"

#include <nlohmann/json.hpp>

namespace appserver {

namespace {

std::string dump(const nlohmann::json &value) {
    // Stored text that is not valid UTF-8 must not break the answer.
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::string usualCode(int status) {
    switch (status) {
    case 401:
        return "unauthorized";
    case 403:
        return "statement-refused";
    case 413:
        return "too-large";
    case 429:
        return "throttled";
    case 499:
        return "closed";
    case 503:
        return "busy";
    default:
        return status >= 500 ? "unavailable" : "malformed";
    }
}

std::string errorBody(const std::string &message, const std::string &code) {
    return dump({{"error", message}, {"code", code}});
}

Reply errorReply(int status, const std::string &message, const std::string &code) {
    Reply reply{status, errorBody(message, code.empty() ? usualCode(status) : code)};
    reply.failure = message;
    return reply;
}

Reply changedReply(long long changes) {
    return Reply{200, dump({{"result", true}, {"changes", changes}}), static_cast<size_t>(changes)};
}

Reply changeRefusedReply(const std::string &error) {
    Reply reply{200, dump({{"result", false}, {"error", error}, {"code", "database"}})};
    reply.failure = error;
    return reply;
}

Reply nobodyWaitsReply() {
    return errorReply(499, "the client closed the connection before the answer: what was being "
                           "done for it was stopped");
}

std::string sizeText(size_t bytes) {
    if (bytes % (1 << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes % (1 << 10) == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace appserver
