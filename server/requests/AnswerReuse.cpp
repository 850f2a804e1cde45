#include "requests/AnswerReuse.h"

#include "answers/AddedRows.h"
#include "answers/RowDelta.h"
#include "requests/EntityTags.h"

namespace appserver {
namespace {

// Statements whose latest exact answer is remembered to be brought up to date:
// the own lists of thousands of members (the answers themselves stay within
// the cache's memory).
constexpr size_t kRememberedBases = 1 << 16;

Reply keptReply(std::shared_ptr<const CachedAnswer> answer) {
    Reply reply;
    reply.rows = answer->rows();
    reply.etag = answer->etag();
    reply.kept = std::move(answer);
    return reply;
}

std::string keyOf(const std::string &version, const std::string &body) {
    return version + '\n' + body;
}

} // namespace

AnswerReuse::AnswerReuse(const StatementRunner &runner, size_t keptBytes)
    : runner_(runner), answers_(keptBytes) {}

Reply AnswerReuse::answer(Session &session, const std::string &body, const std::string &shape,
                          const std::string &version, const Delivery &delivery) {
    const std::string key = keyOf(version, body);
    const std::string etag = entityTag(key);
    if (noneMatchNames(delivery.ifNoneMatch, etag)) {
        Reply unchanged{304, {}};
        unchanged.etag = etag;
        return unchanged;
    }
    const auto earlier = answerHeld(body, delivery);
    auto answer = answers_.find(key);
    const std::optional<OwnList> list = answer ? std::nullopt : OwnList::of(body);
    const bool placed = !answer && (list || session.placesAddedRows(body));
    if (placed)
        answer = broughtUpToDate(session, body, list);
    if (!answer) {
        // The new answer is usually about as long as the one the member holds,
        // or else as the last of its shape.
        // An answer is kept as its text alone: the cells would about double
        // what each member's lists hold.
        AnswerParts parts;
        std::optional<std::string> exactVersion;
        Reply fresh = runner_.run(session, Method::OpenSQL, body, &parts, earlier.get(),
                                  earlier ? earlier->json().size() : answerSizes_.expected(shape),
                                  placed ? &exactVersion : nullptr);
        if (fresh.status != 200)
            return fresh;
        answerSizes_.note(shape, fresh.body.size());
        // Read at a version of its own: it is that version's answer.
        const std::string freshKey = exactVersion ? keyOf(*exactVersion, body) : key;
        fresh.etag = exactVersion ? entityTag(freshKey) : etag;
        if (placed && !exactVersion)
            addedLog_.doubt(body, fresh.etag);
        if (!answers_.keeps(freshKey.size() + fresh.body.size()))
            return fresh; // too large to keep: it holds its budget share
        answer = std::make_shared<const CachedAnswer>(
            fresh.etag, std::move(fresh.body), std::move(parts.rowStarts), std::move(parts.cells));
        // Only the answer kept is one to bring up to date: another kept under
        // the same key may have read a later state than its key says.
        if (answers_.store(freshKey, answer) && exactVersion)
            noteBase(body, *exactVersion, answer);
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
    // The member's answer is no longer kept: the log may still tell what was
    // added since.
    if (!earlier && delivery.acceptsRowDelta && delivery.ifNoneMatch.size() == 1 &&
        session.placesAddedRows(body))
        // Rows added to over half the answer go whole: the changed rows would be as long.
        if (const auto added = addedLog_.placesSince(body, delivery.ifNoneMatch.front(),
                                                     answer->etag(), answer->rows(),
                                                     answer->rows() / 2))
            if (auto delta = rowDeltaOfAdded(*answer, *added)) {
                Reply reply{226, std::move(delta->body), delta->rows};
                reply.etag = answer->etag();
                reply.deltaBase = delivery.ifNoneMatch.front();
                reply.keptFront = delta->front;
                reply.keptBack = delta->back;
                return reply;
            }
    return keptReply(std::move(answer));
}

std::shared_ptr<const CachedAnswer> AnswerReuse::broughtUpToDate(Session &session,
                                                                 const std::string &body,
                                                                 const std::optional<OwnList> &list) {
    std::string since;
    std::shared_ptr<const CachedAnswer> base;
    {
        std::lock_guard<std::mutex> lock(basesMutex_);
        const auto found = bases_.find(body);
        if (found == bases_.end())
            return nullptr;
        since = found->second.version;
        base = found->second.answer.lock();
    }
    if (!base)
        return nullptr;
    AddedRows added;
    std::vector<ChangedRow> changed;
    const auto now = list ? session.changedRows(body, since, changed)
                          : session.addedRows(body, since, added);
    if (!now)
        return nullptr;
    const std::string key = keyOf(*now, body);
    if (auto kept = answers_.find(key))
        return kept; // another member's request got there first
    auto answer = list ? list->withChanges(*base, changed, session.textRules(), entityTag(key),
                                           runner_.maxAnswerBytes())
                       : withAddedRows(*base, added, entityTag(key), runner_.maxAnswerBytes(),
                                       answers_.largestKept());
    if (!answer || !answers_.keeps(key.size() + answer->json().size()))
        return nullptr;
    // Only additions are logged: a member's own list also changes in place,
    // and is never answered from the log.
    if (!list)
        addedLog_.note(body, base->etag(), answer->etag(), added.places());
    if (answers_.store(key, answer))
        noteBase(body, *now, answer);
    return answer;
}

void AnswerReuse::noteBase(const std::string &body, const std::string &version,
                           const std::shared_ptr<const CachedAnswer> &answer) {
    std::lock_guard<std::mutex> lock(basesMutex_);
    if (bases_.size() >= kRememberedBases && !bases_.count(body)) {
        for (auto at = bases_.begin(); at != bases_.end();)
            at = at->second.answer.expired() ? bases_.erase(at) : std::next(at);
        if (bases_.size() >= kRememberedBases)
            bases_.clear();
    }
    bases_[body] = Base{version, answer};
}

std::shared_ptr<const CachedAnswer> AnswerReuse::answerHeld(const std::string &body,
                                                            const Delivery &delivery) {
    const auto &tags = delivery.ifNoneMatch;
    return tags.size() == 1 ? answers_.findSent(tags.front(), body) : nullptr;
}

} // namespace appserver
