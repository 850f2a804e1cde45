#include "members/MemberDirectory.h"

#include "members/MemberNames.h"

#include <chrono>

namespace appserver {

namespace {

// Collects the rows of the one query that reads the directory.
class LoginRows : public RowSink {
public:
    std::unordered_map<std::string, Caller> members;
    void begin(const std::vector<std::string> &) override {}
    bool add(const std::vector<CellView> &row) override {
        if (row.size() < 3 || !row[0] || !row[1])
            return true;
        Caller caller{std::string(*row[0]), std::string(*row[1]),
                      row[2] ? std::string(*row[2]) : std::string(), false};
        caller.privileged = MemberDirectory::isPrivileged(caller.userName);
        members.emplace(MemberDirectory::folded(caller.userName), std::move(caller));
        return true;
    }
};

long long steadyMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Unknown names read the table again at most this often, so that wrong
// guesses cannot keep the database busy.
constexpr long long kStrangerReloadMillis = 1000;

} // namespace

std::string MemberDirectory::folded(const std::string &name) {
    std::string lower = name;
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return lower;
}

bool MemberDirectory::isPrivileged(const std::string &userName) {
    const std::string name = folded(userName);
    return name == "tb58" || name == "vqk" || name == "tapvoreld";
}

namespace {
const std::string kReadLogin = "Select UseName,PassWord,Remark From Login";
} // namespace

bool MemberDirectory::reload(Session &session, const std::optional<std::string> &version) {
    LoginRows rows;
    const StatementResult read = session.run(Method::OpenSQL, kReadLogin, rows);
    if (read.outcome != Outcome::Ok)
        return false;
    byName_ = std::move(rows.members);
    likeness_.clear();
    for (const auto &[name, member] : byName_)
        likeness_.emplace(name, Likeness{nameLikeness(member.userName),
                                         nameLikeness(trimmed(member.displayName))});
    fresh_ = true;
    loadedVersion_ = version;
    return true;
}

std::optional<Caller> MemberDirectory::check(Session &session, const std::string &userName,
                                             const std::string &password) {
    // Read before the table, and outside the lock (it may ask the database):
    // a change between the two only makes the next check read it again. It
    // tells of changes by other servers and processes, such as a password
    // changed through another server on the same database.
    const auto version = session.dataVersion(kReadLogin);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fresh_ || (version && version != loadedVersion_))
        reload(session, version);
    auto found = byName_.find(folded(userName));
    if (found == byName_.end() || found->second.password != password) {
        // Added or changed by another process (an administrator's
        // --add-member, another server on the same database)?
        const long long now = steadyMillis();
        if (now - unknownReloadAt_ < kStrangerReloadMillis)
            return std::nullopt;
        unknownReloadAt_ = now;
        reload(session, version);
        found = byName_.find(folded(userName));
        if (found == byName_.end() || found->second.password != password)
            return std::nullopt;
    }
    return found->second;
}

std::string MemberDirectory::trimmed(const std::string &value) {
    size_t begin = 0, end = value.size();
    while (begin < end && static_cast<unsigned char>(value[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(value[end - 1]) <= 32)
        --end;
    return value.substr(begin, end - begin);
}

bool MemberDirectory::displayNameTaken(const std::string &displayName,
                                       const std::string &exceptUserName) {
    const std::string wanted = nameLikeness(trimmed(displayName));
    const std::string except = folded(exceptUserName);
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto &[name, likeness] : likeness_)
        if (name != except && likeness.displayName == wanted)
            return true;
    return false;
}

bool MemberDirectory::loginNameTaken(const std::string &userName,
                                     const std::string &exceptUserName) {
    const std::string wanted = nameLikeness(userName);
    const std::string except = folded(exceptUserName);
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto &[name, likeness] : likeness_)
        if (name != except && likeness.userName == wanted)
            return true;
    return false;
}

bool MemberDirectory::looksPrivileged(const std::string &userName) {
    static const std::string privileged[] = {nameLikeness("tb58"), nameLikeness("vqk"),
                                             nameLikeness("tapvoreld")};
    const std::string likeness = nameLikeness(userName);
    for (const auto &name : privileged)
        if (likeness == name)
            return true;
    return false;
}

void MemberDirectory::invalidate() {
    std::lock_guard<std::mutex> lock(mutex_);
    fresh_ = false;
}

} // namespace appserver
