#include "members/ValueLimits.h"

#include <map>

namespace appserver {
namespace {

using StatementShapes::Kind;

struct Column {
    const char *name;
    size_t maxBytes;
};

constexpr size_t KiB = 1024;

// Columns by kind of value.
constexpr Column kLoginName{"a login name", 256};
constexpr Column kPassword{"a password", 256};
constexpr Column kName{"a display name", 256};
constexpr Column kNames{"a list of names", 8 * KiB};
constexpr Column kTime{"a time", 64};
constexpr Column kReceipt{"a read receipt", 64 + 256};
constexpr Column kWord{"a state or count", 16};
constexpr Column kNumber{"a project number", 64};
constexpr Column kText{"a text", 16 * KiB};
constexpr Column kFlowNodes{"the flow nodes", 64 * KiB};
// A notice may quote a project's text.
constexpr Column kNoticeText{"a notice", 20 * KiB};

using Columns = std::vector<Column>;

const Columns kProject = {kNumber, kText, kText, kText, kName,     kNames,
                          kTime,   kTime, kWord, kWord, kFlowNodes};
const Columns kTask = {kNumber, kText, kName, kName, kTime, kTime, kWord, kText, kReceipt, kNames};
const Columns kTaskKey = {kNumber, kText, kName};

Columns joined(Columns first, const Columns &second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The columns each kind's values go to, in the order of its values.
const std::map<Kind, Columns> &columnsByKind() {
    static const std::map<Kind, Columns> columns = {
        {Kind::AddMember, {kLoginName, kPassword, kName}},
        {Kind::ChangeLogin, {kLoginName, kPassword, kName, kLoginName, kPassword}},
        {Kind::AddNotice, {kNoticeText, kName, kNames, kTime}},
        {Kind::AddProject, kProject},
        {Kind::ChangeProject, {kNames, kWord, kWord, kFlowNodes, kNumber, kText, kName}},
        {Kind::ProjectTaskCount, {kWord, kNumber, kText, kName}},
        {Kind::DeleteProject, {kNumber}},
        {Kind::ReplaceProject, joined({kNumber}, kProject)},
        {Kind::AddTask, kTask},
        {Kind::ChangeTaskState, joined({kWord, kText, kName}, kTaskKey)},
        {Kind::ClaimTask, joined(joined({kWord, kText, kName}, kTaskKey), {kWord, kName})},
        {Kind::TaskReadReceipt, joined({kReceipt}, kTaskKey)},
        {Kind::DeleteTask, kTaskKey},
        {Kind::ReplaceTask, joined(kTaskKey, kTask)},
    };
    return columns;
}

std::string sizeText(size_t bytes) {
    return bytes >= KiB ? std::to_string(bytes / KiB) + " KiB" : std::to_string(bytes) + " bytes";
}

} // namespace

std::optional<std::string> oversizedValue(Kind kind, const std::vector<std::string> &values) {
    const auto found = columnsByKind().find(kind);
    for (size_t i = 0; i < values.size(); ++i) {
        const Column column = found != columnsByKind().end() && i < found->second.size()
                                  ? found->second[i]
                                  : Column{"a value", kMaxAnyValueBytes};
        if (values[i].size() > column.maxBytes)
            return std::string(column.name) + " may be at most " + sizeText(column.maxBytes) +
                   " long";
    }
    return std::nullopt;
}

} // namespace appserver
