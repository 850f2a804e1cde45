#pragma once
// Credentials the database has confirmed for a wait for changes, kept while
// the Login table stays at the version they were confirmed at. A department
// waits again after every change, all at once: asking the database each
// time would overflow its workers' queue for nothing.

#include <mutex>
#include <string>
#include <unordered_map>

namespace appserver {

class ConfirmedLogins {
public:
    // Whether userName and password were confirmed at loginVersion (never
    // for an empty version: it is not known).
    bool confirmed(const std::string &userName, const std::string &password,
                   const std::string &loginVersion) const;
    void remember(const std::string &userName, const std::string &password,
                  const std::string &loginVersion);

private:
    static constexpr size_t kMostRemembered = 100000;
    struct Confirmed {
        std::string password;
        std::string loginVersion;
    };
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Confirmed> byUser_;
};

} // namespace appserver
