#include "WorkflowRules.h"

#include "StoredTime.h"

#include <algorithm>

namespace appserver {
namespace {

using StatementShapes::Kind;
using Why = std::optional<std::string>;

// Projects, tasks and notices name members by display name; the client
// compares them trimmed and in their own letter case.
std::string trimmed(const std::string &value) {
    return MemberDirectory::trimmed(value);
}
bool same(const std::string &a, const std::string &b) {
    return trimmed(a) == trimmed(b);
}

std::string quoted(const std::string &value) {
    std::string text = "'";
    for (char c : value) {
        text += c;
        if (c == '\'')
            text += '\'';
    }
    return text + "'";
}

bool isCount(const std::string &value) {
    const std::string text = trimmed(value);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A project is open while its flag reads "No", in any letter case.
bool isOpen(const std::string &flag) {
    return MemberDirectory::folded(trimmed(flag)) == "no";
}

// The key of a task, as the client addresses it.
struct TaskKey {
    std::string id, content, demander;
    std::string where() const {
        return " where TaskId=" + quoted(id) + " and TaskContent=" + quoted(content) +
               " and TaskDemander=" + quoted(demander);
    }
};

// The stored task columns the rules read, in this order.
enum TaskColumn { Performer, State, Note, ReadReceipt, Related, DueTime };
LookupRows tasksByKey(RowLookup &lookup, const TaskKey &key) {
    return lookup.rows("Select TaskPerformer,TaskCompleteFlag,TaskList,TaskReadTime,TaskCCList,"
                       "TaskCompleteTime From Task" +
                       key.where());
}

bool projectHasTasks(RowLookup &lookup, const std::string &id) {
    return !lookup.rows("Select TaskId From Task where TaskId=" + quoted(id)).empty();
}

bool projectHasOpenTasks(RowLookup &lookup, const std::string &id) {
    for (const auto &task :
         lookup.rows("Select TaskCompleteFlag From Task where TaskId=" + quoted(id)))
        if (trimmed(task[0]) != "2")
            return true;
    return false;
}

// The stored project columns the rules read, in this order.
enum ProjectColumn { Demander, Performers, Flag, FlowNodes, Due };
LookupRows projectsById(RowLookup &lookup, const std::string &id) {
    return lookup.rows("Select ProDemander,ProPerformer,ProCompleteFlag,ProList,ProCompleteTime "
                       "From Programe where ProId=" +
                       quoted(id));
}

const char *kOnlyPrivilegedMoveTimes = "only tb58, vqk and tapvoreld may change a due time";
const char *kChangedMeanwhile = "the row changed after it was opened: open it again";

// ProId, ProFrom, ProAim, ProContent, ProDemander, ProPerformer,
// ProCreateTime, ProCompleteTime, ProCompleteFlag, ProTask, ProList.
enum NewProject { PId = 0, PDemander = 4, PDue = 7, PFlag = 8, PTasks = 9, PNodes = 10 };

ChangeRule addProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &) -> Why {
        if (!same(v[PDemander], me.displayName))
            return "a member creates projects only in the own name";
        if (trimmed(v[PTasks]) != "0" || !trimmed(v[PNodes]).empty())
            return "a new project has no tasks and no flow nodes";
        return std::nullopt; // a number taken already fails on the table's unique key
    };
}

// Whether nodes only add entries signed by me to the stored ones.
Why badFlowNodes(const std::string &stored, const std::string &nodes, const Caller &me) {
    const std::string before = trimmed(stored), after = trimmed(nodes);
    if (after == before)
        return std::nullopt;
    std::string added;
    if (before.empty())
        added = after;
    else if (after.rfind(before + "|", 0) == 0)
        added = after.substr(before.size() + 1);
    else
        return std::string(kChangedMeanwhile);
    const std::string signature = "---" + trimmed(me.displayName);
    if (added.size() < signature.size() ||
        added.compare(added.size() - signature.size(), signature.size(), signature) != 0 ||
        added.find('|') != std::string::npos)
        return "a flow node is added one at a time, signed with the own name";
    return std::nullopt;
}

// ProPerformer, ProCompleteFlag, ProTask, ProList, then the key: ProId, ProFrom, ProDemander.
ChangeRule changeProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        if (!isCount(v[2]))
            return "a task count is a number";
        const std::string where = " where ProId=" + quoted(v[4]) + " and ProFrom=" + quoted(v[5]) +
                                  " and ProDemander=" + quoted(v[6]);
        for (const auto &row : lookup.rows("Select ProPerformer,ProCompleteFlag,ProList From "
                                           "Programe" +
                                           where)) {
            if (!same(row[0], v[0]))
                return "a project's performers change only when it is re-edited";
            if (auto why = badFlowNodes(row[2], v[3], me))
                return why;
            if (isOpen(row[1]) && !isOpen(v[1])) {
                if (!same(v[6], me.displayName))
                    return "only the project's creator completes it";
                if (projectHasOpenTasks(lookup, v[4]))
                    return "the project still has open tasks";
            } else if (!isOpen(row[1]) && isOpen(v[1])) {
                return "a completed project is reopened only by re-editing it";
            }
        }
        return std::nullopt;
    };
}

ChangeRule deleteProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        for (const auto &row : projectsById(lookup, v[0])) {
            if (!same(row[Demander], me.displayName))
                return "only the project's creator deletes it";
            if (!isOpen(row[Flag]))
                return "a completed project cannot be deleted";
        }
        if (projectHasTasks(lookup, v[0]))
            return "the project has dispatched tasks and cannot be deleted";
        return std::nullopt;
    };
}

// The number being replaced, then the edited project.
ChangeRule replaceProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        const std::string &id = v[0];
        const auto edited = [&v](int column) -> const std::string & { return v[1 + column]; };
        if (edited(PId) != id)
            return "a re-edit keeps the project's number";
        const LookupRows stored = projectsById(lookup, id);
        if (stored.empty())
            return "the project " + trimmed(id) + " no longer exists";
        const auto &row = stored.front();
        if (!same(edited(PDemander), row[Demander]))
            return "a re-edit keeps the project's creator";
        if (!isOpen(edited(PFlag)) || !isCount(edited(PTasks)))
            return "a re-edited project is open and counts its tasks";
        if (!same(edited(PNodes), row[FlowNodes]))
            return std::string(kChangedMeanwhile);
        if (!me.privileged && !same(edited(PDue), row[Due]))
            return std::string(kOnlyPrivilegedMoveTimes);
        return std::nullopt;
    };
}

// TaskId, TaskContent, TaskDemander, TaskPerformer, TaskCreateTime,
// TaskCompleteTime, TaskCompleteFlag, TaskList, TaskReadTime, TaskCCList.
enum NewTask { TId = 0, TContent, TDemander, TPerformer, TCreated, TDue, TState, TNote, TRead };

// The project has no other task with this key.
Why keyTaken(RowLookup &lookup, const TaskKey &key) {
    if (!tasksByKey(lookup, key).empty())
        return "the project already has this task from this dispatcher";
    return std::nullopt;
}

ChangeRule addTask(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        if (!same(v[TDemander], me.displayName))
            return "a member dispatches tasks only in the own name";
        if (!trimmed(v[TPerformer]).empty() || trimmed(v[TState]) != "0" ||
            !trimmed(v[TNote]).empty() || !trimmed(v[TRead]).empty())
            return "a new task is open, unclaimed and unread";
        if (projectsById(lookup, v[TId]).empty())
            return "no project has the number " + trimmed(v[TId]);
        return keyTaken(lookup, {v[TId], v[TContent], v[TDemander]});
    };
}

// One stored task moved to the state, note and performer asked for.
Why badStateChange(const Caller &me, const std::vector<std::string> &task, const TaskKey &key,
                   const std::string &state, const std::string &note,
                   const std::string &performer) {
    const std::string from = trimmed(task[State]);
    const std::string to = trimmed(state);
    const bool isDispatcher = same(key.demander, me.displayName);
    if (from == "2")
        return "a completed task cannot be changed";
    if (to == "0" && from == "0") {
        // A claim: only of an unclaimed task, and only for oneself.
        if (!trimmed(task[Performer]).empty() || !same(performer, me.displayName))
            return "a task is claimed only while nobody has claimed it, and only for oneself";
        return std::nullopt;
    }
    if (!same(performer, task[Performer]))
        return "a task's performer changes only when it is claimed";
    if (to == "1") {
        if (from != "0")
            return "completion is applied for only while the task is open";
        return std::nullopt;
    }
    if (to == "0" || to == "2") {
        if (from != "1")
            return "a task is agreed to or rejected only after completion was applied for";
        if (!isDispatcher)
            return "only the task's dispatcher agrees to or rejects its completion";
        if (to == "2" && !same(note, task[Note]))
            return std::string(kChangedMeanwhile);
        return std::nullopt;
    }
    return "a task's state is 0, 1 or 2";
}

// TaskCompleteFlag, TaskList, TaskPerformer, then the key.
ChangeRule changeTaskState(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        const TaskKey key{v[3], v[4], v[5]};
        for (const auto &task : tasksByKey(lookup, key))
            if (auto why = badStateChange(me, task, key, v[0], v[1], v[2]))
                return why;
        return std::nullopt;
    };
}

// As changeTaskState, then the state and performer the task must still have.
ChangeRule claimTask(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &) -> Why {
        if (trimmed(v[0]) != "0" || !same(v[2], me.displayName) || trimmed(v[6]) != "0" ||
            !trimmed(v[7]).empty())
            return "a task is claimed only while nobody has claimed it, and only for oneself";
        return std::nullopt;
    };
}

// The receipt, then the key.
ChangeRule signReadReceipt(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        const std::string receipt = trimmed(v[0]);
        const std::string signature = "--" + trimmed(me.displayName);
        if (receipt.size() <= signature.size() ||
            receipt.compare(receipt.size() - signature.size(), signature.size(), signature) != 0)
            return "a read receipt is signed with the own name";
        const std::string name = trimmed(me.displayName);
        for (const auto &task : tasksByKey(lookup, {v[1], v[2], v[3]})) {
            if (!trimmed(task[ReadReceipt]).empty())
                return "the task's read receipt is already signed";
            if (name.empty() || task[Related].find(name) == std::string::npos)
                return "only a related person signs a task's read receipt";
        }
        return std::nullopt;
    };
}

ChangeRule deleteTask(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &) -> Why {
        if (!same(v[2], me.displayName))
            return "only the task's dispatcher deletes it";
        return std::nullopt;
    };
}

// The key being replaced, then the edited task.
ChangeRule replaceTask(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        const TaskKey old{v[0], v[1], v[2]};
        const auto edited = [&v](int column) -> const std::string & { return v[3 + column]; };
        if (edited(TId) != old.id || !same(edited(TDemander), old.demander))
            return "a re-edit keeps the task's project and dispatcher";
        const LookupRows stored = tasksByKey(lookup, old);
        if (stored.empty())
            return "the task no longer exists as it was opened: open it again";
        const auto &task = stored.front();
        if (!same(edited(TPerformer), task[Performer]) || !same(edited(TState), task[State]) ||
            !same(edited(TNote), task[Note]) || !same(edited(TRead), task[ReadReceipt]))
            return std::string(kChangedMeanwhile);
        if (!me.privileged && !same(edited(TDue), task[DueTime]))
            return std::string(kOnlyPrivilegedMoveTimes);
        const TaskKey renamed{edited(TId), edited(TContent), edited(TDemander)};
        if (renamed.content != old.content || renamed.demander != old.demander)
            return keyTaken(lookup, renamed);
        return std::nullopt;
    };
}

// Content, author, performer, time. Every member's panel lists the notices
// of the last 15 days, so each member's share of them is bounded: what the
// panel holds grows with the members, not with what one of them stores.
ChangeRule noticeShare(std::vector<std::string> v) {
    return [v](RowLookup &lookup) -> Why {
        const std::string since = storedDate(std::time(nullptr) - kNoticeDays * 24 * 3600);
        size_t bytes = v[0].size() + v[2].size();
        for (const auto &notice :
             lookup.rows("Select Content,Performer From Notice where CreateTime>=" + quoted(since) +
                         " and Demander=" + quoted(v[1])))
            bytes += notice[0].size() + notice[1].size();
        if (bytes > kNoticeBytesPerMember)
            return "a member's notices of the last " + std::to_string(kNoticeDays) +
                   " days may hold at most " + std::to_string(kNoticeBytesPerMember >> 10) + " KiB";
        return std::nullopt;
    };
}

} // namespace

std::optional<ChangeRule> workflowRule(const Caller &caller, Kind kind,
                                       const std::vector<std::string> &values) {
    // The shape fixes how many values each kind carries.
    switch (kind) {
    case Kind::AddNotice:
        return noticeShare(values);
    case Kind::AddProject:
        return addProject(caller, values);
    case Kind::ChangeProject:
        return changeProject(caller, values);
    case Kind::ProjectTaskCount:
        return [values](RowLookup &) -> Why {
            if (!isCount(values[0]))
                return "a task count is a number";
            return std::nullopt;
        };
    case Kind::DeleteProject:
        return deleteProject(caller, values);
    case Kind::ReplaceProject:
        return replaceProject(caller, values);
    case Kind::AddTask:
        return addTask(caller, values);
    case Kind::ChangeTaskState:
        return changeTaskState(caller, values);
    case Kind::ClaimTask:
        return claimTask(caller, values);
    case Kind::TaskReadReceipt:
        return signReadReceipt(caller, values);
    case Kind::DeleteTask:
        return deleteTask(caller, values);
    case Kind::ReplaceTask:
        return replaceTask(caller, values);
    default:
        return std::nullopt;
    }
}

} // namespace appserver
