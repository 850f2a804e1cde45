#pragma once
// The wire protocol: a handshake and the three server methods under one
// context path, answered in JSON. Independent of the HTTP transport.

#include "answer_budget.h"
#include "answer_cache.h"
#include "answer_sizes.h"
#include "member_directory.h"
#include "worker_queue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace appserver {

inline constexpr size_t kMaxBodyBytes = 1 << 20;

struct Reply {
    Reply() = default;
    Reply(int status, std::string body, size_t rows = 0, BudgetShare memory = {})
        : status(status), body(std::move(body)), rows(rows), memory(std::move(memory)) {}

    int status = 200;
    std::string body;   // JSON
    size_t rows = 0;    // rows returned or changed, for the log
    BudgetShare memory; // held by a large body until it has been sent
    std::string etag;   // an OpenSQL answer's entity tag; with status 304 there is no body
    std::shared_ptr<const std::string> sharedBody; // sent instead of body: a cached answer's
    bool gzipped = false;                          // the body sent is gzip-compressed
    // With status 226: the body holds only the rows between the first and the
    // last rows kept of the answer tagged deltaBase.
    std::string deltaBase;
    size_t keptFront = 0, keptBack = 0;
};

// How the peer wants its answer, from its request headers and address.
struct Delivery {
    std::string ifNoneMatch;
    bool acceptsRowDelta = false; // A-IM names RowChanges::kManipulation
    bool acceptsGzip = false;
    bool peerOnLoopback = true;
};

// The login name and password a request carries (HTTP Basic).
struct Credentials {
    bool given = false;
    std::string userName;
    std::string password;
};

class HttpApi {
public:
    // context is the path segment the methods live under, such as "datasnap/".
    // Queries run on readers; changes go through writer, one at a time.
    // Large answers draw on answerMemory until they have been sent.
    // anyStatement: privileged members may run statements the client does not send.
    HttpApi(WorkerQueue &readers, WorkerQueue &writer, std::string context, size_t maxAnswerBytes,
            AnswerBudget &answerMemory, bool anyStatement = false);

    // Decided once a request's headers are in: the statement method it calls,
    // or the reply it gets without the database.
    std::variant<Method, Reply> route(const std::string &httpMethod, const std::string &path) const;

    // The reply to a body that cannot be run, if it cannot.
    std::optional<Reply> refuseBody(const std::string &body) const;

    // Runs body on a database worker for the member the credentials name, which
    // then calls done with the reply; done is called at once when the workers
    // are too busy to take it. Unknown credentials: 401; a statement the member
    // may not run: 403.
    // An unchanged OpenSQL answer whose tag the request names is 304 without
    // a body; a large answer goes out compressed where delivery says it pays.
    void run(Method method, std::string body, Credentials credentials, Delivery delivery,
             std::function<void(Reply)> done);

private:
    struct Job;
    Reply runFor(Session &session, Method method, const Job &job);
    // shape: the statement's, to size its answer by the last of that shape.
    Reply reusableAnswer(Session &session, const std::string &body, const std::string &shape,
                         const std::string &version, const Delivery &delivery);
    // The earlier answer to body that the request names in If-None-Match,
    // while it is kept: the member may get only the rows changed since.
    std::shared_ptr<const CachedAnswer> answerHeld(const std::string &body,
                                                   const Delivery &delivery);
    // What an answer to keep needs besides its text.
    struct AnswerParts {
        std::vector<uint32_t> rowStarts; // where each row begins
        StoredCells cells;               // to tell the rows of the next answer by
    };
    // parts, when given, receives them; the rows equal to rows of earlier, an
    // answer to the same statement, take its text; expectedBytes is the room
    // the answer takes at once.
    Reply runStatement(Session &session, Method method, const std::string &body,
                       AnswerParts *parts = nullptr, const CachedAnswer *earlier = nullptr,
                       size_t expectedBytes = 0) const;

    WorkerQueue &readers_;
    WorkerQueue &writer_;
    std::string root_;    // "/datasnap/"
    std::string methods_; // "/datasnap/rest/TZelServerDataBase/"
    size_t maxAnswerBytes_;
    AnswerBudget &answerMemory_;
    bool anyStatement_;
    MemberDirectory members_;
    AnswerCache answers_;
    AnswerSizes answerSizes_;
};

std::string errorBody(const std::string &message);
Reply errorReply(int status, const std::string &message);

// "64 MiB", "1.5 KiB": limits as the operator set them.
std::string sizeText(size_t bytes);

} // namespace appserver
