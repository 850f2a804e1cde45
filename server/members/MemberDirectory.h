#pragma once
// Who may ask: the members of the Login table, kept in memory and read again
// when Login changes, through this server or, where the storage can tell,
// through another. Login names compare without regard to ASCII letter
// case, passwords exactly, as the table itself compares them.

#include "storage/Storage.h"

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace appserver {

struct Caller {
    std::string userName; // as stored
    std::string password;
    std::string displayName; // Remark, as stored: how projects, tasks and notices name it
    bool privileged = false; // may list and add members
};

class MemberDirectory {
public:
    // The member with these credentials, or nullopt. Reads Login through the
    // session when the directory is stale, or when a name it does not know
    // may have been added by another process meanwhile.
    std::optional<Caller> check(Session &session, const std::string &userName,
                                const std::string &password);
    // Login changed through this server.
    void invalidate();
    // Whether a member, other than the one with the login name exceptUserName,
    // goes by this display name or login name, or by one a person could take
    // for it (nameLikeness).
    bool displayNameTaken(const std::string &displayName, const std::string &exceptUserName);
    bool loginNameTaken(const std::string &userName, const std::string &exceptUserName);
    // Whether a person could take the login name for a privileged one.
    static bool looksPrivileged(const std::string &userName);

    static std::string folded(const std::string &name); // ASCII lower case
    // Without the blanks and control characters around it, as the client enters values.
    static std::string trimmed(const std::string &value);
    static bool isPrivileged(const std::string &userName);

private:
    bool reload(Session &session, const std::optional<std::string> &version);

    std::mutex mutex_;
    bool fresh_ = false;
    std::optional<std::string> loadedVersion_; // of Login, when the storage tells it
    long long unknownReloadAt_ = 0; // steady milliseconds of the last reload for a stranger
    std::unordered_map<std::string, Caller> byName_; // folded name -> member
    struct Likeness {
        std::string userName, displayName;
    };
    std::unordered_map<std::string, Likeness> likeness_; // folded name -> its names' likeness
};

} // namespace appserver
