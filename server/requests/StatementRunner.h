#pragma once
// The run stage: a statement carried out on the worker's session, a query's
// rows written as JSON while they are read, and the outcome told as a reply.

#include "answers/AnswerBudget.h"
#include "answers/AnswerCache.h"
#include "requests/Reply.h"
#include "storage/Storage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace appserver {

// What an answer to keep needs besides its text.
struct AnswerParts {
    size_t cellsUpTo = 0;            // keep the rows' cells up to this many bytes
    std::vector<uint32_t> rowStarts; // where each row begins
    StoredCells cells;               // to tell the rows of the next answer by
};

class StatementRunner {
public:
    // An answer longer than maxAnswerBytes is stopped; large answers draw on
    // answerMemory until they have been sent.
    StatementRunner(size_t maxAnswerBytes, AnswerBudget &answerMemory)
        : maxAnswerBytes_(maxAnswerBytes), answerMemory_(answerMemory) {}

    // parts, when given, receives them; the rows equal to rows of earlier, an
    // answer to the same statement, take its text; expectedBytes is the room
    // the answer takes at once. atVersion, when given, asks that the query
    // read the data at one version, and receives it (Session::runAtVersion).
    Reply run(Session &session, Method method, const std::string &body,
              AnswerParts *parts = nullptr, const CachedAnswer *earlier = nullptr,
              size_t expectedBytes = 0, std::optional<std::string> *atVersion = nullptr) const;

    size_t maxAnswerBytes() const { return maxAnswerBytes_; }

    // A query of Login whose answer keeps only the rows of the member with
    // this login name (letter case ignored), whatever rows the statement finds.
    Reply runOwnRows(Session &session, const std::string &body, const std::string &userName) const;

    // A change whose rule reads the stored rows first; the steps run in one
    // transaction with the rule and the journal's entries from notes, all
    // kept or none.
    Reply runChange(Session &session, const std::vector<ChangeStep> &steps, const ChangeRule &rule,
                    ChangeNotes *notes) const;

private:
    // onlyRowsOf: as runOwnRows() when given.
    Reply runInto(Session &session, Method method, const std::string &body,
                  const std::string *onlyRowsOf, AnswerParts *parts, const CachedAnswer *earlier,
                  size_t expectedBytes, std::optional<std::string> *atVersion) const;

    size_t maxAnswerBytes_;
    AnswerBudget &answerMemory_;
};

} // namespace appserver
