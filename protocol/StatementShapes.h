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
    Other,             // projects, tasks, notices
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
};
const std::vector<Shape> &all();

// The kind of a shape, or nullopt when it is none of the client's.
std::optional<Kind> kindOf(const std::string &shape);

} // namespace StatementShapes
