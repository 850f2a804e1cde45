#include "members/WorkflowRules.h"

#include "members/StoredTime.h"
#include "statements/SqlLexer.h"

#include <algorithm>

namespace appserver {
namespace {

using StatementShapes::Kind;
using Why = std::optional<Refusal>;

Why refused(const char *code, const std::string &why) {
    return Refusal{code, why};
}

// Projects, tasks and notices name members by display name; the client
// compares them trimmed and in their own letter case.
std::string trimmed(const std::string &value) {
    return MemberDirectory::trimmed(value);
}
bool same(const std::string &a, const std::string &b) {
    return trimmed(a) == trimmed(b);
}

bool isCount(const std::string &value) {
    const std::string text = trimmed(value);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A project is open while its flag reads "No", in any letter case (an older
// server stored any case); the windows write exactly "No" or "Yes".
bool isOpen(const std::string &flag) {
    return MemberDirectory::folded(trimmed(flag)) == "no";
}
bool isState(const std::string &flag) {
    return flag == "No" || flag == "Yes";
}

// Keys are stored as the client sends values: without blanks around them.
bool isTrimmed(const std::string &value) {
    return trimmed(value) == value;
}

// A time as the date-time pickers write it, or none (as tools write).
bool isTimeOrNone(const std::string &value) {
    return trimmed(value).empty() || readStoredTime(value).has_value();
}

// Whether the name is one of the "|" list's names, as a whole.
bool listNames(const std::string &list, const std::string &name) {
    size_t begin = 0;
    while (true) {
        const size_t end = list.find('|', begin);
        if (same(list.substr(begin, end == std::string::npos ? end : end - begin), name))
            return true;
        if (end == std::string::npos)
            return false;
        begin = end + 1;
    }
}

// The key of a task, as the client addresses it.
struct TaskKey {
    std::string id, content, demander;
    std::string where() const {
        return " where TaskId=" + quotedLiteral(id) + " and TaskContent=" + quotedLiteral(content) +
               " and TaskDemander=" + quotedLiteral(demander);
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
    return !lookup.rows("Select TaskId From Task where TaskId=" + quotedLiteral(id)).empty();
}

bool projectHasOpenTasks(RowLookup &lookup, const std::string &id) {
    for (const auto &task :
         lookup.rows("Select TaskCompleteFlag From Task where TaskId=" + quotedLiteral(id)))
        if (trimmed(task[0]) != "2")
            return true;
    return false;
}

// The stored project columns the rules read, in this order.
enum ProjectColumn { Demander, Performers, Flag, FlowNodes, Due };
LookupRows projectsById(RowLookup &lookup, const std::string &id) {
    return lookup.rows("Select ProDemander,ProPerformer,ProCompleteFlag,ProList,ProCompleteTime "
                       "From Programe where ProId=" +
                       quotedLiteral(id));
}

Refusal onlyPrivilegedMoveTimes() {
    return {"not-privileged", "only tb58, vqk and tapvoreld may change a due time"};
}
Refusal changedMeanwhile() {
    return {"changed-meanwhile", "the row changed after it was opened: open it again"};
}

// ProId, ProFrom, ProAim, ProContent, ProDemander, ProPerformer,
// ProCreateTime, ProCompleteTime, ProCompleteFlag, ProTask, ProList.
enum NewProject { PId = 0, PDemander = 4, PCreated = 6, PDue, PFlag, PTasks, PNodes };

// A project number names one project in any letter case: "sw1" and "SW1"
// would be two rows to the lookup by number.
Why numberTaken(RowLookup &lookup, const std::string &id) {
    const std::string wanted = MemberDirectory::folded(id);
    for (const auto &row :
         lookup.rows("Select ProId From Programe where lower(ProId)=" + quotedLiteral(wanted)))
        if (MemberDirectory::folded(trimmed(row[0])) == wanted)
            return refused("key-taken", "the project number " + id + " is taken already");
    return std::nullopt;
}

// The times of a new or re-edited project or task, as the pickers write them.
Why badTimes(const std::string &created, const std::string &due) {
    if (!isTimeOrNone(created) || !isTimeOrNone(due))
        return refused("value-invalid", "a time is written yyyy-MM-dd HH:mm:ss");
    return std::nullopt;
}

ChangeRule addProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        if (!same(v[PDemander], me.displayName))
            return refused("not-own-name", "a member creates projects only in the own name");
        if (trimmed(v[PTasks]) != "0" || !trimmed(v[PNodes]).empty())
            return refused("value-invalid", "a new project has no tasks and no flow nodes");
        if (v[PFlag] != "No")
            return refused("value-invalid", "a new project is open: its state is \"No\"");
        if (!isTrimmed(v[PId]))
            return refused("value-invalid", "a project number has no blanks around it");
        if (auto why = badTimes(v[PCreated], v[PDue]))
            return why;
        return numberTaken(lookup, v[PId]);
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
        return changedMeanwhile();
    // The node's text is free: it may hold "|" and "---" itself.
    const std::string signature = "---" + trimmed(me.displayName);
    if (added.size() < signature.size() ||
        added.compare(added.size() - signature.size(), signature.size(), signature) != 0)
        return refused("not-own-name", "a flow node is signed with the own name");
    return std::nullopt;
}

// ProPerformer, ProCompleteFlag, ProTask, ProList, then the key: ProId, ProFrom, ProDemander.
ChangeRule changeProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        if (!isCount(v[2]))
            return refused("value-invalid", "a task count is a number");
        const std::string where = " where ProId=" + quotedLiteral(v[4]) +
                                  " and ProFrom=" + quotedLiteral(v[5]) +
                                  " and ProDemander=" + quotedLiteral(v[6]);
        for (const auto &row : lookup.rows("Select ProPerformer,ProCompleteFlag,ProList From "
                                           "Programe" +
                                           where)) {
            if (!same(row[0], v[0]))
                return refused("value-invalid",
                               "a project's performers change only when it is re-edited");
            // A state stored by an older server in another spelling may stay.
            if (!isState(v[1]) && trimmed(v[1]) != trimmed(row[1]))
                return refused("value-invalid", "a project's state is \"No\" or \"Yes\"");
            if (auto why = badFlowNodes(row[2], v[3], me))
                return why;
            if (isOpen(row[1]) && !isOpen(v[1])) {
                if (!same(v[6], me.displayName))
                    return refused("not-creator", "only the project's creator completes it");
                if (projectHasOpenTasks(lookup, v[4]))
                    return refused("wrong-state", "the project still has open tasks");
            } else if (!isOpen(row[1]) && isOpen(v[1])) {
                return refused("wrong-state",
                               "a completed project is reopened only by re-editing it");
            }
        }
        return std::nullopt;
    };
}

ChangeRule deleteProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        for (const auto &row : projectsById(lookup, v[0])) {
            if (!same(row[Demander], me.displayName))
                return refused("not-creator", "only the project's creator deletes it");
            if (!isOpen(row[Flag]))
                return refused("wrong-state", "a completed project cannot be deleted");
        }
        if (projectHasTasks(lookup, v[0]))
            return refused("wrong-state", "the project has dispatched tasks and cannot be deleted");
        return std::nullopt;
    };
}

// The number being replaced, then the edited project.
ChangeRule replaceProject(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        const std::string &id = v[0];
        const auto edited = [&v](int column) -> const std::string & { return v[1 + column]; };
        if (edited(PId) != id)
            return refused("value-invalid", "a re-edit keeps the project's number");
        const LookupRows stored = projectsById(lookup, id);
        if (stored.empty())
            return refused("gone", "the project " + trimmed(id) + " no longer exists");
        const auto &row = stored.front();
        if (!same(edited(PDemander), row[Demander]))
            return refused("value-invalid", "a re-edit keeps the project's creator");
        if (edited(PFlag) != "No" || !isCount(edited(PTasks)))
            return refused("value-invalid", "a re-edited project is open (\"No\") and counts "
                                            "its tasks");
        if (auto why = badTimes(edited(PCreated), edited(PDue)))
            return why;
        if (!same(edited(PNodes), row[FlowNodes]))
            return changedMeanwhile();
        // The picker shows a stored "10:00" as 10:00:00: the same time.
        if (!me.privileged && !sameStoredTime(edited(PDue), row[Due]))
            return onlyPrivilegedMoveTimes();
        return std::nullopt;
    };
}

// TaskId, TaskContent, TaskDemander, TaskPerformer, TaskCreateTime,
// TaskCompleteTime, TaskCompleteFlag, TaskList, TaskReadTime, TaskCCList.
enum NewTask { TId = 0, TContent, TDemander, TPerformer, TCreated, TDue, TState, TNote, TRead };

// The project has a task with this key, blanks around its parts ignored.
Why keyTaken(RowLookup &lookup, const TaskKey &key) {
    for (const auto &task : lookup.rows("Select TaskContent,TaskDemander From Task where TaskId=" +
                                        quotedLiteral(trimmed(key.id))))
        if (same(task[0], key.content) && same(task[1], key.demander))
            return refused("key-taken", "the project already has this task from this dispatcher");
    return std::nullopt;
}

// A task's key as it is stored: its parts without blanks around them.
Why badKey(const TaskKey &key) {
    if (!isTrimmed(key.id) || !isTrimmed(key.content) || !isTrimmed(key.demander))
        return refused("value-invalid", "a task's project, text and dispatcher have no blanks "
                                        "around them");
    return std::nullopt;
}

// The dispatcher is a free text of the dispatch window: a member may
// dispatch in another's name; the notice names who did.
ChangeRule addTask(const Caller &, std::vector<std::string> v) {
    return [v](RowLookup &lookup) -> Why {
        if (!trimmed(v[TPerformer]).empty() || trimmed(v[TState]) != "0" ||
            !trimmed(v[TNote]).empty() || !trimmed(v[TRead]).empty())
            return refused("value-invalid", "a new task is open, unclaimed and unread");
        const TaskKey key{v[TId], v[TContent], v[TDemander]};
        if (auto why = badKey(key))
            return why;
        if (auto why = badTimes(v[TCreated], v[TDue]))
            return why;
        if (projectsById(lookup, v[TId]).empty())
            return refused("gone", "no project has the number " + trimmed(v[TId]));
        return keyTaken(lookup, key);
    };
}

// One stored task moved to the state, note and performer asked for.
Why badStateChange(const Caller &me, const std::vector<std::string> &task, const TaskKey &key,
                   const std::string &state, const std::string &note,
                   const std::string &performer) {
    const std::string from = trimmed(task[State]);
    const std::string to = trimmed(state);
    if (to != "0" && to != "1" && to != "2")
        return refused("value-invalid", "a task's state is 0, 1 or 2");
    if (from == "2")
        return refused("wrong-state", "a completed task cannot be changed");
    if (to == "0" && from == "0") {
        // A claim: only of an unclaimed task, and only for oneself.
        if (!trimmed(task[Performer]).empty())
            return refused("wrong-state", "a task is claimed only while nobody has claimed it");
        if (!same(performer, me.displayName))
            return refused("not-own-name", "a task is claimed only for oneself");
        return std::nullopt;
    }
    if (!same(performer, task[Performer]))
        return refused("value-invalid", "a task's performer changes only when it is claimed");
    if (to == "1") {
        if (from != "0")
            return refused("wrong-state", "completion is applied for only while the task is open");
        return std::nullopt;
    }
    if (from != "1")
        return refused("wrong-state",
                       "a task is agreed to or rejected only after completion was applied for");
    // Any member who opens an applied task may agree; rejecting is the
    // dispatcher's alone.
    if (to == "0" && !same(key.demander, me.displayName))
        return refused("not-dispatcher", "only the task's dispatcher rejects its completion");
    if (to == "2" && !same(note, task[Note]))
        return changedMeanwhile();
    return std::nullopt;
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
        if (trimmed(v[0]) != "0" || trimmed(v[6]) != "0" || !trimmed(v[7]).empty())
            return refused("value-invalid", "a claim leaves the task open and asks that nobody "
                                            "has claimed it");
        if (!same(v[2], me.displayName))
            return refused("not-own-name", "a task is claimed only for oneself");
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
            return refused("not-own-name", "a read receipt is signed with the own name");
        const std::string name = trimmed(me.displayName);
        for (const auto &task : tasksByKey(lookup, {v[1], v[2], v[3]})) {
            if (!trimmed(task[ReadReceipt]).empty())
                return refused("wrong-state", "the task's read receipt is already signed");
            // A whole name of the list: "alvic" is no related person of "Kestra|Halvic".
            if (name.empty() || !listNames(task[Related], name))
                return refused("not-related", "only a related person signs a task's read receipt");
        }
        return std::nullopt;
    };
}

ChangeRule deleteTask(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &) -> Why {
        if (!same(v[2], me.displayName))
            return refused("not-dispatcher", "only the task's dispatcher deletes it");
        return std::nullopt;
    };
}

// The key being replaced, then the edited task.
ChangeRule replaceTask(const Caller &me, std::vector<std::string> v) {
    return [me, v](RowLookup &lookup) -> Why {
        const TaskKey old{v[0], v[1], v[2]};
        const auto edited = [&v](int column) -> const std::string & { return v[3 + column]; };
        // The dispatcher is the window's free text: a re-edit may change it.
        if (!same(edited(TId), old.id))
            return refused("value-invalid", "a re-edit keeps the task's project");
        const LookupRows stored = tasksByKey(lookup, old);
        if (stored.empty())
            return refused("gone", "the task no longer exists as it was opened: open it again");
        const auto &task = stored.front();
        if (!same(edited(TPerformer), task[Performer]) || !same(edited(TState), task[State]) ||
            !same(edited(TNote), task[Note]) || !same(edited(TRead), task[ReadReceipt]))
            return changedMeanwhile();
        const TaskKey renamed{edited(TId), edited(TContent), edited(TDemander)};
        if (auto why = badKey(renamed))
            return why;
        if (auto why = badTimes(edited(TCreated), edited(TDue)))
            return why;
        // The picker shows a stored "10:00" as 10:00:00: the same time.
        if (!me.privileged && !sameStoredTime(edited(TDue), task[DueTime]))
            return onlyPrivilegedMoveTimes();
        if (!same(renamed.content, old.content) || !same(renamed.demander, old.demander))
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
        for (const auto &notice : lookup.rows(
                 "Select Content,Performer From Notice where CreateTime>=" + quotedLiteral(since) +
                 " and Demander=" + quotedLiteral(v[1])))
            bytes += notice[0].size() + notice[1].size();
        if (bytes > kNoticeBytesPerMember)
            return refused("notice-share",
                           "a member's notices of the last " + std::to_string(kNoticeDays) +
                               " days may hold at most " +
                               std::to_string(kNoticeBytesPerMember >> 10) + " KiB");
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
                return refused("value-invalid", "a task count is a number");
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
