#pragma once
// The reuse stage: a query whose tables have not changed since an answer was
// kept gets that answer again (or 304 when the peer holds it) instead of
// running; a changed answer goes to a peer that holds the earlier one as the
// rows that differ (226).

#include "AnswerCache.h"
#include "AnswerSizes.h"
#include "Delivery.h"
#include "StatementRunner.h"

#include <memory>
#include <string>

namespace appserver {

class AnswerReuse {
public:
    explicit AnswerReuse(const StatementRunner &runner);

    // The answer to the OpenSQL statement body, of the given shape, while its
    // tables are at version: kept, or run now and kept.
    Reply answer(Session &session, const std::string &body, const std::string &shape,
                 const std::string &version, const Delivery &delivery);

private:
    // The earlier answer to body that the request names in If-None-Match,
    // while it is kept: the member may get only the rows changed since.
    std::shared_ptr<const CachedAnswer> answerHeld(const std::string &body,
                                                   const Delivery &delivery);

    const StatementRunner &runner_;
    AnswerCache answers_;
    AnswerSizes answerSizes_;
};

} // namespace appserver
