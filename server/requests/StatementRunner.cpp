#include "StatementRunner.h"

#include "JsonText.h"

namespace appserver {

Reply StatementRunner::run(Session &session, Method method, const std::string &body,
                           AnswerParts *parts, const CachedAnswer *earlier,
                           size_t expectedBytes) const {
    JsonRowsWriter rows(maxAnswerBytes_, answerMemory_, expectedBytes);
    if (earlier)
        rows.reuseRowsOf(*earlier);
    if (parts)
        rows.keepCells(parts->cellsUpTo);
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
        return changeRefusedReply(result.error);
    case Outcome::Ok:
        break;
    }
    if (method != Method::OpenSQL)
        return changedReply(result.changes);
    const size_t count = rows.rows();
    if (parts) {
        parts->rowStarts = rows.takeRowStarts();
        parts->cells = rows.takeCells();
    }
    return Reply{200, rows.finish(), count, rows.takeShare()};
}

} // namespace appserver
