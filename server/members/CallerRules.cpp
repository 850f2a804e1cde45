#include "members/CallerRules.h"

#include "members/MemberNames.h"
#include "members/StoredTime.h"
#include "members/ValueLimits.h"
#include "members/WorkflowRules.h"
#include "protocol/StatementShapes.h"

#include <ctime>

namespace appserver {

namespace {

using StatementShapes::Kind;

bool sameLogin(const std::string &a, const std::string &b) {
    return MemberDirectory::folded(a) == MemberDirectory::folded(b);
}

// Values enter the client's statements trimmed of blanks and control characters.
std::string trimmed(const std::string &value) {
    return MemberDirectory::trimmed(value);
}

Verdict refuse(const std::string &code, const std::string &why) {
    Verdict verdict;
    verdict.refusal = Refusal{code, why};
    return verdict;
}

// Accepted; the directory must read Login again once it has run.
Verdict changingLogin() {
    Verdict verdict;
    verdict.changesLogin = true;
    return verdict;
}

// A notice dated later than this is refused: the panel lists the newest
// first, so it would stay on top of every member's panel.
constexpr std::time_t kNoticeAheadSeconds = 10 * 60;

// Why a login name cannot be taken by the member with the login name owner
// (empty for a new member), or nothing when it can.
std::optional<Refusal> loginNameRefusal(const Caller &caller, const std::string &name,
                                        const std::string &owner, MemberDirectory &members) {
    if (auto why = badLoginName(name))
        return Refusal{"name-invalid", *why};
    if (!caller.privileged && MemberDirectory::looksPrivileged(name))
        return Refusal{"not-privileged",
                       "only tb58, vqk and tapvoreld may take a privileged login name"};
    if (members.loginNameTaken(name, owner))
        return Refusal{"name-taken", "another member already has the login name " + name +
                                         " or one that looks like it"};
    return std::nullopt;
}

std::optional<Refusal> displayNameRefusal(const std::string &name, const std::string &owner,
                                          MemberDirectory &members) {
    if (auto why = badDisplayName(name))
        return Refusal{"name-invalid", *why};
    // Projects, tasks and notices name members by display name.
    if (members.displayNameTaken(name, owner))
        return Refusal{"name-taken", "another member already has the display name " + name +
                                         " or one that looks like it"};
    return std::nullopt;
}

Verdict judgeLogin(const Caller &caller, Kind kind, const std::vector<std::string> &values,
                   MemberDirectory &members) {
    switch (kind) {
    case Kind::AllMembers:
        if (!caller.privileged)
            return refuse("not-privileged", "only tb58, vqk and tapvoreld may list every member");
        break;
    case Kind::AddMember:
        if (!caller.privileged)
            return refuse("not-privileged", "only tb58, vqk and tapvoreld may add members");
        if (values.size() < 3)
            return refuse("value-invalid",
                          "a new member needs a login name, a password and a display name");
        if (auto why = loginNameRefusal(caller, values[0], {}, members))
            return refuse(why->code, why->text);
        if (auto why = displayNameRefusal(values[2], {}, members))
            return refuse(why->code, why->text);
        return changingLogin();
    case Kind::LoginCheck:
    case Kind::OwnLoginRow:
        // The privileged see every row anyway. Anyone else gets the own row
        // only, picked from the very rows the statement reads, so that
        // another member's name finds nothing, as a name nobody has does.
        if (!caller.privileged) {
            Verdict ownRows;
            ownRows.onlyRowsOf = caller.userName;
            return ownRows;
        }
        break;
    case Kind::ChangeLogin:
        // Addressed by the old login name and password: those must be the caller's.
        if (values.size() < 5 || !sameLogin(trimmed(values[3]), caller.userName) ||
            trimmed(values[4]) != caller.password)
            return refuse("not-own-login", "a member may change only the own login");
        // A name kept as it is stored is no new name: a member whose name
        // an older server let in still changes the own password.
        if (values[0] != caller.userName)
            if (auto why = loginNameRefusal(caller, values[0], caller.userName, members))
                return refuse(why->code, why->text);
        if (values[2] != caller.displayName)
            if (auto why = displayNameRefusal(values[2], caller.userName, members))
                return refuse(why->code, why->text);
        return changingLogin();
    default:
        break;
    }
    return Verdict{};
}

Verdict judgeNotice(const Caller &caller, const std::vector<std::string> &values) {
    // Content, author, performer, time.
    if (values.size() < 4)
        return refuse("value-invalid", "a notice holds content, author, performer and time");
    // As stored: the client signs with the display name as it reads it.
    if (values[1] != caller.displayName)
        return refuse("not-own-name", "a notice is signed with the own display name");
    if (values[3] > storedTime(std::time(nullptr) + kNoticeAheadSeconds))
        return refuse("value-invalid", "a notice may not be dated later than now");
    return Verdict{};
}

Verdict judgeReduced(const Caller &caller, const std::optional<StatementShapes::Reduced> &reduced,
                     bool anyStatement, MemberDirectory &members) {
    if (reduced && reduced->bareParameter)
        return refuse("statement-refused",
                      "a statement may not hold a parameter (?) outside quotes");
    const auto kind = reduced ? StatementShapes::kindOf(reduced->shape) : std::nullopt;
    if (!kind) {
        // Another tool's statement: the guard alone decides what it may do,
        // so only the members who may see every login run them.
        if (anyStatement && caller.privileged)
            return changingLogin();
        return refuse("statement-refused",
                      "the server runs only the statements the Solvane client sends");
    }
    if (auto why = oversizedValue(*kind, reduced->literals))
        return refuse("too-large", *why);
    if (*kind == Kind::AddNotice) {
        Verdict verdict = judgeNotice(caller, reduced->literals);
        if (!verdict.refusal)
            verdict.rule = workflowRule(caller, *kind, reduced->literals);
        return verdict;
    }
    if (auto rule = workflowRule(caller, *kind, reduced->literals)) {
        Verdict checked;
        checked.rule = std::move(rule);
        checked.isReplacement = *kind == Kind::ReplaceProject || *kind == Kind::ReplaceTask;
        return checked;
    }
    return judgeLogin(caller, *kind, reduced->literals, members);
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
