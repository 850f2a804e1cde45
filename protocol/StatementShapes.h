#pragma once
// The statements the client sends, reduced to their shapes: every quoted
// literal becomes "?" and every run of blanks one space, keywords in the
// letter case the client writes them. The server runs a statement only when
// its shape is one of these; the client's own tests prove that everything it
// composes has one. Plain C++ (no Qt): both programs compile it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace StatementShapes {

// What a statement is for: the server's rules about who may run it.
enum class Kind {
    LoginCheck,        // one member's full row, by name and password
    OwnLoginRow,       // one member's full row, by name
    AllMembers,        // every member's full row
    DisplayNames,      // every member's display name
    AddMember,         // insert into Login
    ChangeLogin,       // update Login, addressed by name and password
    AddNotice,         // insert into Notice: content, author, performer, time
    AddProject,        // insert into Programe
    ChangeProject,     // performers, completion, task count and flow nodes of a project
    ProjectTaskCount,  // the task count of a project
    DeleteProject,     // delete Programe by number
    ReplaceProject,    // a re-edit: delete a project and insert its edited copy, at once
    AddTask,           // insert into Task
    ChangeTaskState,   // state, completion note and performer of a task
    ClaimTask,         // as ChangeTaskState, only while the task is open and unclaimed
    TaskReadReceipt,   // the read receipt of a task
    DeleteTask,        // delete a task by its key
    ReplaceTask,       // a re-edit: delete a task and insert its edited copy, at once
    Other,             // queries of projects, tasks and notices
};

struct Reduced {
    std::string shape;
    std::vector<std::string> literals; // the quoted values in order, unquoted
    bool bareParameter = false;        // a "?" outside quotes: SQL's unbound parameter
};

// Fails (nullopt) on an unterminated literal.
std::optional<Reduced> reduce(std::string_view statement);

struct Shape {
    const char *text;
    Kind kind;
    // Sent only by clients of an earlier version, which the server still
    // answers while a department updates its desktops.
    bool earlierClientsOnly = false;
};
const std::vector<Shape> &all();

// A re-edit sends its deletion and its insertion in one request, joined by
// this, so that the server keeps both or neither.
inline constexpr char kStatementJoint = ';';

// The kind of a shape, or nullopt when it is none of the client's.
std::optional<Kind> kindOf(const std::string &shape);

} // namespace StatementShapes
