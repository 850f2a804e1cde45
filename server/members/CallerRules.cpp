#include "CallerRules.h"

#include "StatementShapes.h"

namespace appserver {

namespace {

using StatementShapes::Kind;

bool sameLogin(const std::string &a, const std::string &b) {
    return MemberDirectory::folded(a) == MemberDirectory::folded(b);
}

// Values enter the client's statements trimmed of blanks and control characters.
std::string trimmed(const std::string &value) {
    size_t begin = 0, end = value.size();
    while (begin < end && static_cast<unsigned char>(value[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(value[end - 1]) <= 32)
        --end;
    return value.substr(begin, end - begin);
}

Verdict refuse(const std::string &why) {
    return Verdict{why, false, {}};
}

} // namespace

namespace {

Verdict judgeReduced(const Caller &caller, const std::optional<StatementShapes::Reduced> &reduced,
                     bool anyStatement, MemberDirectory &members) {
    const auto kind = reduced ? StatementShapes::kindOf(reduced->shape) : std::nullopt;
    if (!kind) {
        // Another tool's statement: the guard alone decides what it may do,
        // so only the members who may see every login run them.
        if (anyStatement && caller.privileged)
            return Verdict{std::nullopt, true, {}};
        return refuse("the server runs only the statements the Solvane client sends");
    }
    const auto &values = reduced->literals;
    switch (*kind) {
    case Kind::AllMembers:
        if (!caller.privileged)
            return refuse("only tb58, vqk and tapvoreld may list every member");
        break;
    case Kind::AddMember:
        if (!caller.privileged)
            return refuse("only tb58, vqk and tapvoreld may add members");
        return Verdict{std::nullopt, true, {}};
    case Kind::LoginCheck:
    case Kind::OwnLoginRow:
        // The privileged see every row anyway; a name nobody has finds nothing.
        if (!caller.privileged &&
            (values.empty() || members.isOtherMember(trimmed(values[0]), caller)))
            return refuse("a member may read only the own login");
        break;
    case Kind::ChangeLogin:
        // Addressed by the old login name and password: those must be the caller's.
        if (values.size() < 5 || !sameLogin(trimmed(values[3]), caller.userName) ||
            trimmed(values[4]) != caller.password)
            return refuse("a member may change only the own login");
        return Verdict{std::nullopt, true, {}};
    case Kind::DisplayNames:
    case Kind::Other:
        break;
    }
    return Verdict{};
}

} // namespace

Verdict judge(const Caller &caller, const std::string &statement, bool anyStatement,
              MemberDirectory &members) {
    const auto reduced = StatementShapes::reduce(statement);
    Verdict verdict = judgeReduced(caller, reduced, anyStatement, members);
    if (reduced && !verdict.refusal)
        verdict.shape = reduced->shape;
    return verdict;
}

} // namespace appserver
