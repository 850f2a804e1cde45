#include "AnswerReuse.h"

#include "EntityTags.h"
#include "RowDelta.h"

namespace appserver {
namespace {

// Answers kept for reuse: the notice panel of a busy department is some 0.5 MB.
constexpr size_t kAnswerCacheBytes = 32 << 20;

Reply keptReply(std::shared_ptr<const CachedAnswer> answer) {
    Reply reply;
    reply.rows = answer->rows();
    reply.etag = answer->etag();
    reply.kept = std::move(answer);
    return reply;
}

} // namespace

AnswerReuse::AnswerReuse(const StatementRunner &runner)
    : runner_(runner), answers_(kAnswerCacheBytes) {}

Reply AnswerReuse::answer(Session &session, const std::string &body, const std::string &shape,
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
        parts.cellsUpTo = answers_.largestKept();
        Reply fresh = runner_.run(session, Method::OpenSQL, body, &parts, earlier.get(),
                                  earlier ? earlier->json().size() : answerSizes_.expected(shape));
        if (fresh.status != 200)
            return fresh;
        answerSizes_.note(shape, fresh.body.size());
        fresh.etag = etag;
        if (!answers_.keeps(key.size() + fresh.body.size()))
            return fresh; // too large to keep: it holds its budget share
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
            return reply;
        }
    return keptReply(std::move(answer));
}

std::shared_ptr<const CachedAnswer> AnswerReuse::answerHeld(const std::string &body,
                                                            const Delivery &delivery) {
    const auto &tags = delivery.ifNoneMatch;
    return tags.size() == 1 ? answers_.findSent(tags.front(), body) : nullptr;
}

} // namespace appserver
