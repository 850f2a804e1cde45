#include "lists/OwnLists.h"

#include "answers/JsonText.h"
#include "lists/JsonCells.h"
#include "lists/TextMatch.h"
#include "protocol/StatementShapes.h"
#include "statements/Utf8.h"

#include <deque>
#include <limits>
#include <string_view>

namespace appserver {
namespace {

using Test = OwnList::Test;

// The lists' statements, as the client sends them, with their conditions in
// the order their literals stand: rows meeting all conditions of one group.
struct ListShape {
    const char *shape;
    std::vector<std::vector<std::pair<Test, const char *>>> anyOf;
    const char *descendingBy; // null: no order
};

const std::vector<ListShape> &listShapes() {
    static const std::vector<ListShape> shapes = {
        {"Select * From Task where TaskDemander=? or TaskPerformer like ? or TaskCCList like ? "
         "order by TaskCompleteTime desc",
         {{{Test::Equals, "TaskDemander"}},
          {{Test::Like, "TaskPerformer"}},
          {{Test::Like, "TaskCCList"}}},
         "TaskCompleteTime"},
        {"Select * From Programe where ProDemander=? or ProPerformer like ? and ProCompleteFlag=? "
         "Order by ProCompleteTime desc",
         {{{Test::Equals, "ProDemander"}},
          {{Test::Like, "ProPerformer"}, {Test::Equals, "ProCompleteFlag"}}},
         "ProCompleteTime"},
        {"Select * From Programe Where ProPerformer like? and ProCompleteFlag=?",
         {{{Test::Like, "ProPerformer"}, {Test::Equals, "ProCompleteFlag"}}},
         nullptr},
        {"Select * From Task Where TaskPerformer like? and TaskCompleteFlag<>?",
         {{{Test::Like, "TaskPerformer"}, {Test::NotEquals, "TaskCompleteFlag"}}},
         nullptr},
    };
    return shapes;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string jsonRowOf(const StoredRow &row) {
    std::vector<CellView> cells;
    cells.reserve(row.size());
    for (const auto &cell : row)
        cells.push_back(cell ? CellView(*cell) : CellView());
    std::string text;
    appendJsonRow(text, cells);
    return text;
}

// Whether a stands before b in a list ordered by them descending, NULL last:
// below zero when it does, zero when the order leaves them tied.
int precedence(const JsonCell &a, const JsonCell &b) {
    if (!a || !b)
        return bool(b) - bool(a);
    const int compared = a->compare(*b);
    return compared > 0 ? -1 : compared < 0 ? 1 : 0;
}

} // namespace

std::optional<OwnList> OwnList::of(const std::string &sql) {
    const auto reduced = StatementShapes::reduce(sql);
    if (!reduced || reduced->bareParameter)
        return std::nullopt;
    for (const ListShape &shape : listShapes()) {
        if (reduced->shape != shape.shape)
            continue;
        OwnList list;
        size_t next = 0;
        for (const auto &group : shape.anyOf) {
            std::vector<Condition> conditions;
            for (const auto &[test, column] : group) {
                if (next >= reduced->literals.size())
                    return std::nullopt;
                conditions.push_back({test, column, reduced->literals[next++]});
            }
            list.anyOf_.push_back(std::move(conditions));
        }
        if (next != reduced->literals.size())
            return std::nullopt;
        list.descendingBy_ = shape.descendingBy ? shape.descendingBy : "";
        return list;
    }
    return std::nullopt;
}

// The rows of a kept answer as changes move them, each row's text either the
// kept one's or one made for a changed row.
class OwnList::Placing {
public:
    Placing(const OwnList &list, const CachedAnswer &kept, const TextRules &rules)
        : rules_(rules) {
        const auto columns = jsonColumns(kept.head());
        if (!columns || !rules.ordersBytewise)
            return;
        width_ = columns->size();
        auto indexOf = [&](const std::string &name) -> std::optional<size_t> {
            for (size_t i = 0; i < columns->size(); ++i)
                if (sameName((*columns)[i], name))
                    return i;
            return std::nullopt;
        };
        for (const auto &group : list.anyOf_) {
            std::vector<Resolved> resolved;
            for (const Condition &condition : group) {
                const auto column = indexOf(condition.column);
                if (!column)
                    return;
                resolved.push_back({condition.test, *column, &condition.value});
            }
            anyOf_.push_back(std::move(resolved));
        }
        if (!list.descendingBy_.empty() && !(order_ = indexOf(list.descendingBy_)))
            return;
        rows_.reserve(kept.rows() + 8);
        for (size_t i = 0; i < kept.rows(); ++i)
            rows_.push_back(kept.row(i));
        ready_ = true;
    }

    bool ready() const { return ready_; }

    bool apply(const ChangedRow &change) {
        std::optional<size_t> was; // where the row stood, when the list showed it
        if (change.before) {
            const auto shown = matches(*change.before);
            if (!shown)
                return false;
            if (*shown) {
                const std::string text = jsonRowOf(*change.before);
                size_t at = 0;
                while (at < rows_.size() && rows_[at] != text)
                    ++at;
                if (at == rows_.size())
                    return false; // not where the list should have it
                rows_.erase(rows_.begin() + long(at));
                was = at;
            }
        }
        if (!change.after)
            return true;
        const auto shown = matches(*change.after);
        if (!shown)
            return false;
        if (!*shown)
            return true;
        const auto place = placeOf(change, was);
        if (!place)
            return false;
        made_.push_back(jsonRowOf(*change.after));
        rows_.insert(rows_.begin() + long(*place), made_.back());
        return true;
    }

    std::shared_ptr<const CachedAnswer> answer(const CachedAnswer &kept, std::string etag,
                                               size_t maxBytes) const {
        size_t bytes = kept.head().size() + 2;
        for (std::string_view row : rows_)
            bytes += row.size() + 1;
        if (bytes > maxBytes || bytes > std::numeric_limits<uint32_t>::max())
            return nullptr;
        std::string json;
        json.reserve(bytes);
        json += kept.head();
        std::vector<uint32_t> rowStarts;
        rowStarts.reserve(rows_.size());
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (i)
                json += ',';
            rowStarts.push_back(static_cast<uint32_t>(json.size()));
            json += rows_[i];
        }
        json += "]}";
        return std::make_shared<const CachedAnswer>(std::move(etag), std::move(json),
                                                    std::move(rowStarts));
    }

private:
    struct Resolved {
        Test test;
        size_t column;
        const std::string *value;
    };

    // Whether the list shows row; nothing when that cannot be told.
    std::optional<bool> matches(const StoredRow &row) const {
        if (row.size() != width_)
            return std::nullopt;
        for (const auto &group : anyOf_) {
            bool all = true;
            for (const Resolved &condition : group) {
                const auto &cell = row[condition.column];
                bool met = false;
                if (cell) { // NULL meets no condition
                    switch (condition.test) {
                    case Test::Equals:
                        met = *cell == *condition.value;
                        break;
                    case Test::NotEquals:
                        met = *cell != *condition.value;
                        break;
                    case Test::Like: {
                        const auto like = textLike(*cell, *condition.value, rules_);
                        if (!like)
                            return std::nullopt;
                        met = *like;
                        break;
                    }
                    }
                }
                if (!met) {
                    all = false;
                    break;
                }
            }
            if (all)
                return true;
        }
        return false;
    }

    // The order's cell of the row at index; false when it cannot be read
    // back as the database holds it (the writer replaced what was not UTF-8).
    bool keyAt(size_t index, JsonCell &key) const {
        auto cells = jsonCells(rows_[index], *order_ + 1);
        if (!cells)
            return false;
        key = std::move((*cells)[*order_]);
        return !key || key->find("\xEF\xBF\xBD") == std::string::npos;
    }

    // The first row from which on precedence(row, key) > bound (-1: not
    // before key; 0: after it).
    std::optional<size_t> firstNotBefore(const JsonCell &key, int bound) const {
        size_t low = 0, high = rows_.size();
        while (low < high) {
            const size_t middle = (low + high) / 2;
            JsonCell at;
            if (!keyAt(middle, at))
                return std::nullopt;
            if (precedence(at, key) > bound)
                high = middle;
            else
                low = middle + 1;
        }
        return low;
    }

    // Where the row as changed stands in the list; was, where it stood.
    std::optional<size_t> placeOf(const ChangedRow &change, std::optional<size_t> was) const {
        const bool inserted = !change.before;
        if (!order_) {
            // The order rows are read in: a new row comes last, an updated
            // one keeps its place.
            if (!rules_.scansInRowOrder || (!inserted && !was))
                return std::nullopt;
            return inserted ? rows_.size() : *was;
        }
        const JsonCell &key = (*change.after)[*order_];
        if (key && (!isValidUtf8(*key) || key->find("\xEF\xBF\xBD") != std::string::npos))
            return std::nullopt;
        const auto tiedFrom = firstNotBefore(key, -1);
        const auto tiedTo = firstNotBefore(key, 0);
        if (!tiedFrom || !tiedTo)
            return std::nullopt;
        if (*tiedFrom == *tiedTo)
            return *tiedFrom;
        // Tied rows stand in the order they were inserted.
        if (!rules_.scansInRowOrder)
            return std::nullopt;
        if (inserted)
            return *tiedTo;
        if (was && (*change.before)[*order_] == key && *was >= *tiedFrom && *was <= *tiedTo)
            return *was;
        return std::nullopt;
    }

    TextRules rules_;
    bool ready_ = false;
    size_t width_ = 0;
    std::vector<std::vector<Resolved>> anyOf_;
    std::optional<size_t> order_;
    std::vector<std::string_view> rows_;
    std::deque<std::string> made_;
};

std::shared_ptr<const CachedAnswer> OwnList::withChanges(const CachedAnswer &kept,
                                                         const std::vector<ChangedRow> &changes,
                                                         const TextRules &rules, std::string etag,
                                                         size_t maxBytes) const {
    Placing placing(*this, kept, rules);
    if (!placing.ready())
        return nullptr;
    for (const ChangedRow &change : changes)
        if (!placing.apply(change))
            return nullptr;
    return placing.answer(kept, std::move(etag), maxBytes);
}

} // namespace appserver
