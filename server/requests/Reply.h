#pragma once
// What a request gets back: a status and a JSON body, or a kept answer sent
// as it is kept.

#include "answers/AnswerBudget.h"
#include "answers/AnswerCache.h"

#include <memory>
#include <string>

namespace appserver {

struct Reply {
    Reply() = default;
    Reply(int status, std::string body, size_t rows = 0, BudgetShare memory = {})
        : status(status), body(std::move(body)), rows(rows), memory(std::move(memory)) {}

    int status = 200;
    std::string body;      // JSON
    size_t rows = 0;       // rows returned or changed, for the log
    std::string failure;   // why the request failed, as the member is told; empty when it did not
    std::string statement; // with a failure: the statement that failed, for the log
    BudgetShare memory;    // held by a large body until it has been sent
    std::string etag;      // an OpenSQL answer's entity tag; with status 304 there is no body
    // A kept answer, sent instead of body in the form delivery picks.
    std::shared_ptr<const CachedAnswer> kept;
    std::shared_ptr<const std::string> sharedBody; // sent instead of body: a kept answer's
    bool gzipped = false;                          // the body sent is gzip-compressed
    // With status 226: the body holds only the rows between the first and the
    // last rows kept of the answer tagged deltaBase.
    std::string deltaBase;
    size_t keptFront = 0, keptBack = 0;
};

// Every refusal carries a stable reason code beside its words, which
// clients read to tell their members why in their own language:
// {"error":"...","code":"busy"}. Without one, the status's usual code.
std::string errorBody(const std::string &message, const std::string &code);
Reply errorReply(int status, const std::string &message, const std::string &code = {});
// The code a status gives when the one answering names none.
std::string usualCode(int status);
// The answers to ExecSQL and DelSQL: {"result":true,"changes":N}, where N
// may be 0 when the rows addressed are gone, or
// {"result":false,"error":"...","code":"database"} when the database
// refused the change.
Reply changedReply(long long changes);
Reply changeRefusedReply(const std::string &error);

// 499, for the log only: the client that would read it has gone, and what
// was being done for it has been stopped.
Reply nobodyWaitsReply();

// "64 MiB", "1.5 KiB": limits as the operator set them.
std::string sizeText(size_t bytes);

} // namespace appserver
