#include "http_api.h"

#include "answer_compression.h"
#include "caller_rules.h"
#include "entity_tags.h"
#include "header_lists.h"
#include "json_text.h"
#include "row_delta.h"
#include "utf8.h"

#include <nlohmann/json.hpp>

#include <cstring>

namespace appserver {
namespace {

using nlohmann::json;

std::string dump(const json &value) {
    // Stored text that is not valid UTF-8 must not break the answer.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string normalizedContext(std::string context) {
    while (!context.empty() && context.front() == '/')
        context.erase(context.begin());
    if (context.empty() || context.back() != '/')
        context += '/';
    return "/" + context;
}

// Answers kept for reuse: the notice panel of a busy department is some 0.5 MB.
constexpr size_t kAnswerCacheBytes = 32 << 20;

void compressIfPays(Reply &reply, const Delivery &delivery) {
    if ((reply.status == 200 || reply.status == 226) &&
        compressionPays(reply.body.size(), delivery.acceptsGzip, delivery.peerOnLoopback)) {
        reply.body = gzipped(reply.body);
        reply.gzipped = true;
    }
}

Reply replyFrom(const std::shared_ptr<const CachedAnswer> &answer, const Delivery &delivery) {
    Reply reply;
    reply.rows = answer->rows();
    reply.etag = answer->etag();
    reply.gzipped =
        compressionPays(answer->json().size(), delivery.acceptsGzip, delivery.peerOnLoopback);
    // Shares the cached answer's ownership, so eviction cannot free a body being sent.
    reply.sharedBody = std::shared_ptr<const std::string>(answer, reply.gzipped ? &answer->gzip()
                                                                                : &answer->json());
    return reply;
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

std::string errorBody(const std::string &message) {
    return dump(json{{"error", message}});
}

Reply errorReply(int status, const std::string &message) {
    return Reply{status, errorBody(message)};
}

std::string sizeText(size_t bytes) {
    if (bytes % (1 << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes % (1 << 10) == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

HttpApi::HttpApi(WorkerQueue &readers, WorkerQueue &writer, std::string context,
                 size_t maxAnswerBytes, AnswerBudget &answerMemory, bool anyStatement)
    : readers_(readers), writer_(writer), root_(normalizedContext(std::move(context))),
      methods_(root_ + "rest/TZelServerDataBase/"), maxAnswerBytes_(maxAnswerBytes),
      answerMemory_(answerMemory), anyStatement_(anyStatement), answers_(kAnswerCacheBytes) {}

std::variant<Method, Reply> HttpApi::route(const std::string &httpMethod,
                                           const std::string &path) const {
    const bool isGet = httpMethod == "GET" || httpMethod == "HEAD";
    if (path == root_ || path + "/" == root_) {
        if (!isGet)
            return errorReply(405, "the handshake at " + root_ + " takes GET");
        json hello = {{"server", "TZelServerDataBase"},
                      {"methods", {"OpenSQL", "ExecSQL", "DelSQL"}}};
        return Reply{200, dump(hello)};
    }
    Method method;
    if (path.rfind(methods_, 0) != 0 || !methodFromName(path.substr(methods_.size()), method))
        return errorReply(404, "no such path: " + path);
    if (httpMethod != "POST")
        return errorReply(405, std::string(methodName(method)) + " takes POST");
    return method;
}

std::optional<Reply> HttpApi::refuseBody(const std::string &body) const {
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

// The job owns body and done; if the queue turns it down they come back unused.
struct HttpApi::Job {
    std::string body;
    Credentials credentials;
    Delivery delivery;
    std::function<void(Reply)> done;
};

void HttpApi::run(Method method, std::string body, Credentials credentials, Delivery delivery,
                  std::function<void(Reply)> done) {
    WorkerQueue &queue = method == Method::OpenSQL ? readers_ : writer_;
    auto shared = std::make_shared<Job>(
        Job{std::move(body), std::move(credentials), std::move(delivery), std::move(done)});
    const bool taken = queue.submit([this, method, shared](Session *session) {
        Reply reply;
        try {
            reply = session ? runFor(*session, method, *shared)
                            : errorReply(503, "the server is stopping");
        } catch (const std::exception &error) {
            reply = errorReply(503, std::string("the server could not finish the request: ") +
                                        error.what());
        }
        shared->done(std::move(reply));
    });
    if (!taken)
        shared->done(errorReply(
            503, "the server is busy: too many statements are waiting; try again shortly"));
}

Reply HttpApi::runFor(Session &session, Method method, const Job &job) {
    const std::string &body = job.body;
    const Credentials &credentials = job.credentials;
    session.beginRequest();
    if (!credentials.given)
        return errorReply(401, "the server answers members only: send the login name and "
                               "password (HTTP Basic authentication)");
    const auto caller = members_.check(session, credentials.userName, credentials.password);
    if (!caller)
        return errorReply(401, "no member has this login name and password");
    const Verdict verdict = judge(*caller, body, anyStatement_, members_);
    if (verdict.refusal)
        return errorReply(403, *verdict.refusal);
    // Only now, with the member and the statement accepted, may a kept answer be given.
    if (method == Method::OpenSQL)
        if (auto version = session.dataVersion(body))
            return reusableAnswer(session, body, verdict.shape, *version, job.delivery);
    Reply reply = runStatement(session, method, body);
    if (verdict.changesLogin)
        members_.invalidate();
    compressIfPays(reply, job.delivery);
    return reply;
}

Reply HttpApi::reusableAnswer(Session &session, const std::string &body, const std::string &shape,
                              const std::string &version, const Delivery &delivery) {
    const std::string key = version + '\n' + body;
    const std::string etag = entityTag(key);
    if (noneMatchNames(delivery.ifNoneMatch, etag)) {
        Reply unchanged{304, {}};
        unchanged.etag = etag;
        return unchanged;
    }
    const auto earlier = answerHeld(body, delivery);
    auto answer = answers_.find(key);
    if (!answer) {
        // The new answer is usually about as long as the one the member holds,
        // or else as the last of its shape.
        AnswerParts parts;
        Reply fresh = runStatement(session, Method::OpenSQL, body, &parts, earlier.get(),
                                   earlier ? earlier->json().size() : answerSizes_.expected(shape));
        if (fresh.status != 200)
            return fresh;
        answerSizes_.note(shape, fresh.body.size());
        fresh.etag = etag;
        if (!answers_.keeps(key.size() + fresh.body.size())) {
            compressIfPays(fresh, delivery); // too large to keep: it holds its budget share
            return fresh;
        }
        answer = std::make_shared<const CachedAnswer>(
            etag, std::move(fresh.body), std::move(parts.rowStarts), std::move(parts.cells));
        answers_.store(key, answer);
    }
    if (earlier && delivery.acceptsRowDelta)
        if (auto delta = rowDelta(*earlier, *answer)) {
            Reply reply{226, std::move(delta->body), delta->rows};
            reply.etag = answer->etag();
            reply.deltaBase = earlier->etag();
            reply.keptFront = delta->front;
            reply.keptBack = delta->back;
            compressIfPays(reply, delivery);
            return reply;
        }
    return replyFrom(answer, delivery);
}

std::shared_ptr<const CachedAnswer> HttpApi::answerHeld(const std::string &body,
                                                        const Delivery &delivery) {
    const auto tags = headerListItems(delivery.ifNoneMatch);
    return tags.size() == 1 ? answers_.findSent(tags.front(), body) : nullptr;
}

Reply HttpApi::runStatement(Session &session, Method method, const std::string &body,
                            AnswerParts *parts, const CachedAnswer *earlier,
                            size_t expectedBytes) const {
    JsonRowsWriter rows(maxAnswerBytes_, answerMemory_, expectedBytes);
    if (earlier)
        rows.reuseRowsOf(*earlier);
    if (parts)
        rows.keepCells(answers_.largestKept());
    StatementResult result = session.run(method, body, rows);
    switch (result.outcome) {
    case Outcome::Empty:
        return errorReply(400, result.error);
    case Outcome::Refused:
        return errorReply(403, result.error);
    case Outcome::TooLarge:
        if (rows.outOfBudget())
            return errorReply(503, "the server is busy sending other large answers; try again "
                                   "shortly");
        return errorReply(400, "result too large: the answer would be longer than " +
                                   sizeText(maxAnswerBytes_));
    case Outcome::Failed:
        if (method == Method::OpenSQL)
            return errorReply(400, result.error);
        return Reply{200, dump(json{{"result", false}, {"error", result.error}})};
    case Outcome::Ok:
        break;
    }
    if (method != Method::OpenSQL)
        return Reply{200, dump(json{{"result", true}, {"changes", result.changes}}),
                     static_cast<size_t>(result.changes)};
    const size_t count = rows.rows();
    if (parts) {
        parts->rowStarts = rows.takeRowStarts();
        parts->cells = rows.takeCells();
    }
    return Reply{200, rows.finish(), count, rows.takeShare()};
}

} // namespace appserver
