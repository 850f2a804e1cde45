#pragma once
// A member's own lists, as the main window asks them: the task list, the
// project list and the reminder's two counts. Each shows the rows that name
// the member in some columns, in an order of its own; a kept answer of one
// is brought up to date from the rows changed since, matched and placed in
// memory as the database would, instead of running the statement again.

#include "answers/AnswerCache.h"
#include "statements/OwnListShapes.h"
#include "storage/Storage.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace appserver {

class OwnList {
public:
    // The list sql asks for; nothing when it is not one of them.
    static std::optional<OwnList> of(const std::string &sql);

    // kept, an answer to this list's statement, with changes made to it in
    // their order, tagged etag. Nothing when the answer cannot be told for
    // sure (a row not found where it was, a place the order leaves open,
    // text the rules do not cover, an answer longer than maxBytes): the
    // statement is then run.
    std::shared_ptr<const CachedAnswer> withChanges(const CachedAnswer &kept,
                                                    const std::vector<ChangedRow> &changes,
                                                    const TextRules &rules, std::string etag,
                                                    size_t maxBytes) const;

    using Test = ListTest;
    struct Condition {
        Test test;
        std::string column;
        std::string value; // the statement's literal
    };

private:
    class Placing;

    std::vector<std::vector<Condition>> anyOf_; // rows meeting every condition of one
    std::string descendingBy_;                  // none: the order rows are read in
};

} // namespace appserver
