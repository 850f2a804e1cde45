#include "admission/ConfirmedLogins.h"

namespace appserver {

bool ConfirmedLogins::confirmed(const std::string &userName, const std::string &password,
                                const std::string &loginVersion) const {
    if (loginVersion.empty())
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byUser_.find(userName);
    return found != byUser_.end() && found->second.loginVersion == loginVersion &&
           found->second.password == password;
}

void ConfirmedLogins::remember(const std::string &userName, const std::string &password,
                               const std::string &loginVersion) {
    if (loginVersion.empty())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (byUser_.size() >= kMostRemembered)
        byUser_.clear();
    byUser_[userName] = Confirmed{password, loginVersion};
}

} // namespace appserver
