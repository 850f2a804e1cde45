#include "requests/StatementRunner.h"

#include "answers/JsonText.h"
#include "members/MemberDirectory.h"

namespace appserver {
namespace {

// Passes on only the rows whose UseName is one login name.
class OwnRowsOnly : public RowSink {
public:
    OwnRowsOnly(RowSink &rows, const std::string &userName)
        : rows_(rows), folded_(MemberDirectory::folded(userName)) {}
    void begin(const std::vector<std::string> &columns) override {
        for (size_t i = 0; i < columns.size(); ++i)
            if (MemberDirectory::folded(columns[i]) == "usename")
                column_ = i;
        rows_.begin(columns);
    }
    bool add(const std::vector<CellView> &row) override {
        if (column_ >= row.size() || !row[column_] ||
            MemberDirectory::folded(std::string(*row[column_])) != folded_)
            return true;
        return rows_.add(row);
    }

private:
    RowSink &rows_;
    std::string folded_;
    size_t column_ = size_t(-1); // none: no row passes
};

} // namespace

Reply StatementRunner::run(Session &session, Method method, const std::string &body,
                           AnswerParts *parts, const CachedAnswer *earlier, size_t expectedBytes,
                           std::optional<std::string> *atVersion) const {
    return runInto(session, method, body, nullptr, parts, earlier, expectedBytes, atVersion);
}

Reply StatementRunner::runOwnRows(Session &session, const std::string &body,
                                  const std::string &userName) const {
    return runInto(session, Method::OpenSQL, body, &userName, nullptr, nullptr, 0, nullptr);
}

Reply StatementRunner::runChange(Session &session, const std::vector<ChangeStep> &steps,
                                 const ChangeRule &rule, ChangeNotes *notes) const {
    const StatementResult result = session.runChange(steps, rule, notes);
    switch (result.outcome) {
    case Outcome::Ok:
        return changedReply(result.changes);
    case Outcome::Empty:
        return errorReply(400, result.error);
    case Outcome::Refused:
        return errorReply(403, result.error, result.code);
    case Outcome::Failed:
    case Outcome::TooLarge:
        break;
    }
    return changeRefusedReply(result.error);
}

Reply StatementRunner::runInto(Session &session, Method method, const std::string &body,
                               const std::string *onlyRowsOf, AnswerParts *parts,
                               const CachedAnswer *earlier, size_t expectedBytes,
                               std::optional<std::string> *atVersion) const {
    JsonRowsWriter rows(maxAnswerBytes_, answerMemory_, expectedBytes);
    if (earlier)
        rows.reuseRowsOf(*earlier);
    if (parts)
        rows.keepCells(parts->cellsUpTo);
    StatementResult result;
    if (onlyRowsOf) {
        OwnRowsOnly ownRows(rows, *onlyRowsOf);
        result = session.run(method, body, ownRows);
    } else if (atVersion && method == Method::OpenSQL) {
        result = session.runAtVersion(body, rows, *atVersion);
    } else {
        result = session.run(method, body, rows);
    }
    switch (result.outcome) {
    case Outcome::Empty:
        return errorReply(400, result.error);
    case Outcome::Refused:
        return errorReply(403, result.error);
    case Outcome::TooLarge:
        if (rows.outOfBudget())
            return errorReply(503, "the server is busy sending other large answers; try again "
                                   "shortly");
        return errorReply(
            400, "result too large: the answer would be longer than " + sizeText(maxAnswerBytes_),
            "too-large");
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
