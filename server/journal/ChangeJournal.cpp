#include "journal/ChangeJournal.h"

#include "statements/ClientTables.h"
#include "statements/SqlLexer.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <ctime>
#include <optional>

namespace appserver {
namespace {

using StatementShapes::Kind;

const ClientTable &tableNamed(const char *name) {
    for (const ClientTable &table : kClientTableColumns)
        if (std::strcmp(table.name, name) == 0)
            return table;
    return kClientTableColumns[0];
}

// One row, found by its key before the change and by its key after it (a
// re-edit may move a task to another dispatcher, a member to another name).
struct Watch {
    const char *table;
    std::vector<std::string> keyBefore; // the key columns' values, in order
    std::vector<std::string> keyAfter;
};

const char *const kProjectKey[] = {"ProId"};
const char *const kTaskKey[] = {"TaskId", "TaskContent", "TaskDemander"};
const char *const kLoginKey[] = {"UseName"};

std::string selectByKey(const char *table, const std::vector<std::string> &key) {
    const bool task = std::strcmp(table, "Task") == 0;
    const bool project = std::strcmp(table, "Programe") == 0;
    std::string sql = std::string("Select * From ") + table + " where ";
    for (size_t i = 0; i < key.size(); ++i) {
        const char *column = task ? kTaskKey[i] : project ? kProjectKey[i] : kLoginKey[i];
        sql += (i ? " and " : "") + std::string(column) + "=" + quotedLiteral(key[i]);
    }
    return sql;
}

std::optional<std::vector<std::string>> firstRow(RowLookup &lookup, const char *table,
                                                 const std::vector<std::string> &key) {
    LookupRows rows = lookup.rows(selectByKey(table, key));
    if (rows.empty())
        return std::nullopt;
    return std::move(rows.front());
}

class Notes : public ChangeNotes {
public:
    Notes(Kind kind, Watch watch, JournalAuthor author)
        : kind_(kind), watch_(std::move(watch)), author_(std::move(author)) {}

    void before(RowLookup &rows) override {
        before_ = firstRow(rows, watch_.table, watch_.keyBefore);
    }

    std::vector<JournalEntry> after(RowLookup &rows) override {
        const auto after = firstRow(rows, watch_.table, watch_.keyAfter);
        const ClientTable &table = tableNamed(watch_.table);
        nlohmann::json changes = nlohmann::json::object();
        for (size_t c = 0; c < std::size(table.columns) && table.columns[c]; ++c) {
            if (std::strcmp(table.columns[c], "PassWord") == 0)
                continue;
            const std::string *was = before_ && c < before_->size() ? &(*before_)[c] : nullptr;
            const std::string *is = after && c < after->size() ? &(*after)[c] : nullptr;
            if ((was && is && *was == *is) || (!was && !is))
                continue;
            changes[table.columns[c]] = nlohmann::json::array(
                {was ? nlohmann::json(*was) : nlohmann::json(), is ? nlohmann::json(*is) : nlohmann::json()});
        }
        const bool passwordOnly = changes.empty() && before_ && after && *before_ != *after;
        if (changes.empty() && !passwordOnly)
            return {}; // nothing changed: the row was gone or held these values already
        JournalEntry entry;
        entry.changedAt = journalTime(std::time(nullptr));
        entry.byLogin = author_.login;
        entry.byName = author_.name;
        entry.verb = verb(changes);
        entry.rowTable = watch_.table;
        const std::vector<std::string> &key = after ? *after : before_ ? *before_ : watch_.keyAfter;
        const size_t keyColumns = std::strcmp(watch_.table, "Task") == 0 ? 3 : 1;
        entry.keyId = key.size() > 0 ? key[0] : "";
        if (keyColumns == 3) {
            entry.keyContent = key.size() > 1 ? key[1] : "";
            entry.keyDemander = key.size() > 2 ? key[2] : "";
        }
        entry.changes = changes.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return {std::move(entry)};
    }

private:
    static std::string flagChange(const nlohmann::json &changes, const char *column) {
        const auto found = changes.find(column);
        if (found == changes.end() || !(*found)[0].is_string() || !(*found)[1].is_string())
            return {};
        return (*found)[0].get<std::string>() + ">" + (*found)[1].get<std::string>();
    }

    std::string verb(const nlohmann::json &changes) const {
        switch (kind_) {
        case Kind::AddMember:
        case Kind::ChangeLogin:
            return "member";
        case Kind::AddProject:
            return "create";
        case Kind::ChangeProject:
            return changes.contains("ProCompleteFlag") ? "complete" : "node";
        case Kind::DeleteProject:
        case Kind::DeleteTask:
            return "delete";
        case Kind::ReplaceProject:
        case Kind::ReplaceTask:
            return "re-edit";
        case Kind::AddTask:
            return "dispatch";
        case Kind::ClaimTask:
            return "claim";
        case Kind::TaskReadReceipt:
            return "read";
        case Kind::ChangeTaskState: {
            const std::string state = flagChange(changes, "TaskCompleteFlag");
            if (state == "0>1")
                return "apply";
            if (state == "1>2")
                return "agree";
            if (state == "1>0")
                return "reject";
            return changes.contains("TaskPerformer") ? "claim" : "state";
        }
        default:
            return "change";
        }
    }

    Kind kind_;
    Watch watch_;
    JournalAuthor author_;
    std::optional<std::vector<std::string>> before_;
};

std::vector<std::string> valuesAt(const std::vector<std::string> &values,
                                  std::initializer_list<size_t> places) {
    std::vector<std::string> picked;
    for (size_t place : places)
        picked.push_back(place < values.size() ? values[place] : std::string());
    return picked;
}

std::optional<Watch> watchFor(Kind kind, const std::vector<std::string> &v) {
    switch (kind) {
    case Kind::AddMember:
        return Watch{"Login", valuesAt(v, {0}), valuesAt(v, {0})};
    case Kind::ChangeLogin: // new name, password, display name; where the old name and password
        return Watch{"Login", valuesAt(v, {3}), valuesAt(v, {0})};
    case Kind::AddProject:
    case Kind::DeleteProject:
        return Watch{"Programe", valuesAt(v, {0}), valuesAt(v, {0})};
    case Kind::ChangeProject: // where ProId, ProFrom, ProDemander
        return Watch{"Programe", valuesAt(v, {4}), valuesAt(v, {4})};
    case Kind::ReplaceProject:
        return Watch{"Programe", valuesAt(v, {0}), valuesAt(v, {1})};
    case Kind::AddTask:
    case Kind::DeleteTask:
        return Watch{"Task", valuesAt(v, {0, 1, 2}), valuesAt(v, {0, 1, 2})};
    case Kind::ChangeTaskState:
    case Kind::ClaimTask:
        return Watch{"Task", valuesAt(v, {3, 4, 5}), valuesAt(v, {3, 4, 5})};
    case Kind::TaskReadReceipt:
        return Watch{"Task", valuesAt(v, {1, 2, 3}), valuesAt(v, {1, 2, 3})};
    case Kind::ReplaceTask:
        return Watch{"Task", valuesAt(v, {0, 1, 2}), valuesAt(v, {3, 4, 5})};
    default:
        return std::nullopt;
    }
}

} // namespace

std::unique_ptr<ChangeNotes> journalNotes(Kind kind, const std::vector<std::string> &values,
                                          JournalAuthor author) {
    auto watch = watchFor(kind, values);
    if (!watch)
        return nullptr;
    return std::make_unique<Notes>(kind, std::move(*watch), std::move(author));
}

std::string journalTime(long long secondsSinceEpoch) {
    const std::time_t at = std::time_t(secondsSinceEpoch);
    std::tm local{};
    localtime_r(&at, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace appserver
