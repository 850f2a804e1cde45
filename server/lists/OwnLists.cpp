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

// Where cell a stands against cell b in an order by them, ascending (or
// descending): below zero before it, zero tied, above zero after it.
int cellOrder(const JsonCell &a, const JsonCell &b, bool descending, const TextRules &rules) {
    int compared;
    if (!a || !b) // NULL below every text on SQLite, above it on PostgreSQL
        compared = (bool(a) - bool(b)) * (rules.nullsAfterText ? -1 : 1);
    else
        compared = a->compare(*b);
    compared = compared < 0 ? -1 : compared > 0 ? 1 : 0;
    return descending ? -compared : compared;
}

// Whether a cell is text as the database holds it: not what the writer put
// in place of bytes that were not UTF-8.
bool readBackAsStored(const JsonCell &cell) {
    return !cell || (isValidUtf8(*cell) && cell->find("\xEF\xBF\xBD") == std::string::npos);
}

} // namespace

std::optional<OwnList> OwnList::of(const std::string &sql) {
    const auto reduced = StatementShapes::reduce(sql);
    if (!reduced || reduced->bareParameter)
        return std::nullopt;
    for (const OwnListShape &shape : ownListShapes()) {
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

    // How many leading cells the list's order compares.
    size_t comparedCells() const {
        return rules_.listTiesByColumns ? width_ : order_ ? *order_ + 1 : 0;
    }

    // Where row a stands against row b in the list's order: below zero
    // before it, zero when the order leaves them tied.
    int listOrder(const StoredRow &a, const StoredRow &b) const {
        if (order_)
            if (const int by = cellOrder(a[*order_], b[*order_], true, rules_))
                return by;
        if (rules_.listTiesByColumns)
            for (size_t i = 0; i < width_; ++i)
                if (const int by = cellOrder(a[i], b[i], false, rules_))
                    return by;
        return 0;
    }

    // The cells the order compares of the row at index; false when they
    // cannot be read back as the database holds them.
    bool cellsAt(size_t index, StoredRow &cells) const {
        auto read = jsonCells(rows_[index], comparedCells());
        if (!read)
            return false;
        cells = std::move(*read);
        for (const JsonCell &cell : cells)
            if (!readBackAsStored(cell))
                return false;
        return true;
    }

    // The first row from which on listOrder(row, key) > bound (-1: not
    // before key; 0: after it).
    std::optional<size_t> firstNotBefore(const StoredRow &key, int bound) const {
        size_t low = 0, high = rows_.size();
        StoredRow at;
        while (low < high) {
            const size_t middle = (low + high) / 2;
            if (!cellsAt(middle, at))
                return std::nullopt;
            if (listOrder(at, key) > bound)
                high = middle;
            else
                low = middle + 1;
        }
        return low;
    }

    // Where the row as changed stands in the list; was, where it stood.
    std::optional<size_t> placeOf(const ChangedRow &change, std::optional<size_t> was) const {
        const bool inserted = !change.before;
        if (!order_ && !rules_.listTiesByColumns) {
            // The order rows are read in: a new row comes last, an updated
            // one keeps its place.
            if (!rules_.scansInRowOrder || (!inserted && !was))
                return std::nullopt;
            return inserted ? rows_.size() : *was;
        }
        const StoredRow &row = *change.after;
        for (size_t i = 0; i < comparedCells(); ++i)
            if (!readBackAsStored(row[i]))
                return std::nullopt;
        const auto tiedFrom = firstNotBefore(row, -1);
        const auto tiedTo = firstNotBefore(row, 0);
        if (!tiedFrom || !tiedTo)
            return std::nullopt;
        // Rows tied in every column read the same in any order.
        if (*tiedFrom == *tiedTo || rules_.listTiesByColumns)
            return *tiedFrom;
        // Tied rows stand in the order they were inserted.
        if (!rules_.scansInRowOrder)
            return std::nullopt;
        if (inserted)
            return *tiedTo;
        const JsonCell &key = row[*order_];
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
