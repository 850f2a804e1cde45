#include "protocol/StatementShapes.h"

#include <unordered_map>

namespace StatementShapes {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
} // namespace

std::optional<Reduced> reduce(std::string_view statement) {
    Reduced reduced;
    std::string &shape = reduced.shape;
    size_t at = 0;
    while (at < statement.size()) {
        const char c = statement[at];
        if (c == '\'') {
            std::string literal;
            ++at;
            for (;;) {
                if (at >= statement.size())
                    return std::nullopt;
                if (statement[at] == '\'') {
                    if (at + 1 < statement.size() && statement[at + 1] == '\'') {
                        literal += '\'';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                literal += statement[at++];
            }
            reduced.literals.push_back(std::move(literal));
            shape += '?';
        } else if (c == '?') {
            // Reads as a quoted value in the shape, but binds nothing: NULL.
            reduced.bareParameter = true;
            shape += c;
            ++at;
        } else if (isBlank(c)) {
            while (at < statement.size() && isBlank(statement[at]))
                ++at;
            if (!shape.empty() && at < statement.size())
                shape += ' ';
        } else {
            shape += c;
            ++at;
        }
    }
    return reduced;
}

const std::vector<Shape> &all() {
    static const std::vector<Shape> shapes = {
        // Members.
        {"Insert into Login values(?,?,?)", Kind::AddMember},
        {"Select * From Login where UseName=? and PassWord=?", Kind::LoginCheck},
        {"Select * From Login where UseName=?", Kind::OwnLoginRow},
        {"Select * From Login", Kind::AllMembers},
        {"Select Remark From Login", Kind::DisplayNames},
        {"update Login Set UseName=?,PassWord=?,Remark=? where UseName=? and PassWord=?",
         Kind::ChangeLogin},
        // Projects.
        {"Insert into Programe values(?,?,?,?,?,?,?,?,?,?,?)", Kind::AddProject},
        {"Select * From Programe where ProDemander=? or ProPerformer like ? and ProCompleteFlag=? "
         "Order by ProCompleteTime desc",
         Kind::Other},
        {"update Programe Set ProPerformer=?,ProCompleteFlag=?,ProTask=?,ProList=? where ProId=? "
         "and ProFrom=? and ProDemander=?",
         Kind::ChangeProject},
        {"update Programe Set ProTask=? where ProId=? and ProFrom=? and ProDemander=?",
         Kind::ProjectTaskCount},
        {"delete Programe Where ProId=?", Kind::DeleteProject},
        {"delete Programe Where ProId=?;Insert into Programe values(?,?,?,?,?,?,?,?,?,?,?)",
         Kind::ReplaceProject},
        {"Select * From Programe Order by ProCreateTime desc", Kind::Other},
        {"Select * From Programe where ProCreateTime >=? order by ProCreateTime desc", Kind::Other},
        {"Select * From Programe Where ProPerformer like ? order by ProCreateTime desc",
         Kind::Other},
        {"Select * From Programe Where ProPerformer like ? and ProCreateTime >=? order by "
         "ProCreateTime desc",
         Kind::Other},
        {"Select * From programe Where ProId Like ?", Kind::Other},
        // Tasks.
        {"Insert into Task values(?,?,?,?,?,?,?,?,?,?)", Kind::AddTask},
        {"Select * From Task where TaskId=? Order by TaskCompleteTime desc", Kind::Other},
        {"Select * From Task where TaskId=? Order by TaskCreateTime", Kind::Other},
        {"Select * From Task where TaskDemander=? or TaskPerformer like ? or TaskCCList like ? "
         "order by TaskCompleteTime desc",
         Kind::Other},
        {"update Task Set TaskCompleteFlag=?,TaskList=?,TaskPerformer=? where TaskId=? and "
         "TaskContent=? and TaskDemander=?",
         Kind::ChangeTaskState},
        {"update Task Set TaskCompleteFlag=?,TaskList=?,TaskPerformer=? where TaskId=? and "
         "TaskContent=? and TaskDemander=? and TaskCompleteFlag=? and TaskPerformer=?",
         Kind::ClaimTask},
        {"update Task Set TaskReadTime=? where TaskId=? and TaskContent=? and TaskDemander=?",
         Kind::TaskReadReceipt},
        {"delete From Task Where TaskId=? and TaskContent=? and TaskDemander=?", Kind::DeleteTask},
        {"delete From Task Where TaskId=? and TaskContent=? and TaskDemander=?;Insert into Task "
         "values(?,?,?,?,?,?,?,?,?,?)",
         Kind::ReplaceTask},
        // Notices and the reminder.
        {"Insert into Notice values(?,?,?,?)", Kind::AddNotice},
        {"Select * From Notice Where CreateTime>=?Order by CreateTime desc", Kind::Other},
        {"Select * From Programe Where ProPerformer like? and ProCompleteFlag=?", Kind::Other},
        {"Select * From Task Where TaskPerformer like? and TaskCompleteFlag<>?", Kind::Other},
        // The statistics tab of clients before the journal: a member's year
        // of tasks, with each completed task's time of agreement read from
        // its notice.
        {"Select Task.*,min(CreateTime) From Task left join Notice on trim(TaskCompleteFlag)=? "
         "and Content=?||TaskId||? and Performer=TaskDemander and CreateTime>=TaskCreateTime "
         "where (TaskPerformer like ? or trim(TaskPerformer)=? and TaskCCList like ?) and "
         "TaskCreateTime>=? and TaskCreateTime<? group by TaskId,TaskContent,TaskDemander,"
         "TaskPerformer,TaskCreateTime,TaskCompleteTime,TaskCompleteFlag,TaskList,TaskReadTime,"
         "TaskCCList order by TaskCreateTime",
         Kind::Other, true},
        // The same with each completed task's time of agreement read from the
        // journal, the notice left for agreements made before the journal.
        {"Select Task.*,min(CreateTime),max(ChangedAt) From Task left join Notice on "
         "trim(TaskCompleteFlag)=? and Content=?||TaskId||? and Performer=TaskDemander and "
         "CreateTime>=TaskCreateTime left join solvane_journal on trim(TaskCompleteFlag)=? and "
         "RowTable=? and Verb=? and KeyId=TaskId and KeyContent=TaskContent and "
         "KeyDemander=TaskDemander where (TaskPerformer like ? or trim(TaskPerformer)=? and "
         "TaskCCList like ?) and TaskCreateTime>=? and TaskCreateTime<? group by TaskId,"
         "TaskContent,TaskDemander,TaskPerformer,TaskCreateTime,TaskCompleteTime,TaskCompleteFlag,"
         "TaskList,TaskReadTime,TaskCCList order by TaskCreateTime",
         Kind::Other},
        // The history page of the project window: the journal's entries of a
        // project and its tasks, newest first.
        {"Select ChangedAt,ByName,Verb,RowTable,KeyContent,KeyDemander,Changes From "
         "solvane_journal where KeyId=? and RowTable<>? order by Seq desc",
         Kind::Other},
    };
    return shapes;
}

std::optional<Kind> kindOf(const std::string &shape) {
    static const std::unordered_map<std::string, Kind> byText = [] {
        std::unordered_map<std::string, Kind> map;
        for (const Shape &s : all())
            map.emplace(s.text, s.kind);
        return map;
    }();
    const auto found = byText.find(shape);
    if (found == byText.end())
        return std::nullopt;
    return found->second;
}

} // namespace StatementShapes
