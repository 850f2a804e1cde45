#pragma once
// The reuse stage: a query whose tables have not changed since an answer was
// kept gets that answer again (or 304 when the peer holds it) instead of
// running; a changed answer goes to a peer that holds the earlier one as the
// rows that differ (226). A changed answer whose storage can place the rows
// added since, or a member's own list whose storage tells the rows changed
// since, is brought up to date from the latest one read at a version of its
// own, instead of running its statement again.

#include "answers/AnswerCache.h"
#include "answers/AnswerSizes.h"
#include "lists/OwnLists.h"
#include "lists/AddedRowsLog.h"
#include "requests/Delivery.h"
#include "requests/StatementRunner.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace appserver {

// The memory for kept answers unless the server is told otherwise: the own
// lists of some 390 members on a department of 50,000 tasks (see the README).
constexpr size_t kKeptAnswerBytes = size_t(256) << 20;

class AnswerReuse {
public:
    // Keeps answers of up to keptBytes, all together.
    AnswerReuse(const StatementRunner &runner, size_t keptBytes = kKeptAnswerBytes);

    // The answer to the OpenSQL statement body, of the given shape, while its
    // tables are at version: kept, or run now and kept.
    Reply answer(Session &session, const std::string &body, const std::string &shape,
                 const std::string &version, const Delivery &delivery);

private:
    // The earlier answer to body that the request names in If-None-Match,
    // while it is kept: the member may get only the rows changed since.
    std::shared_ptr<const CachedAnswer> answerHeld(const std::string &body,
                                                   const Delivery &delivery);

    // The latest answer to body read at a version of its own, with the rows
    // added (or for a member's list, changed) since merged in; nothing when
    // the storage cannot tell them.
    std::shared_ptr<const CachedAnswer> broughtUpToDate(Session &session, const std::string &body,
                                                        const std::optional<OwnList> &list);
    void noteBase(const std::string &body, const std::string &version,
                  const std::shared_ptr<const CachedAnswer> &answer);

    // An answer exactly as its statement read the data at version, while
    // the cache keeps it: its memory stays within the cache's.
    struct Base {
        std::string version;
        std::weak_ptr<const CachedAnswer> answer;
    };

    const StatementRunner &runner_;
    AnswerCache answers_;
    std::mutex basesMutex_;
    std::unordered_map<std::string, Base> bases_; // by statement
    AnswerSizes answerSizes_;
    AddedRowsLog addedLog_; // how each answer brought up to date grew from its base
};

} // namespace appserver
