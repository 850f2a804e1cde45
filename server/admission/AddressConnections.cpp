#include "admission/AddressConnections.h"

namespace appserver {

bool AddressConnections::admits(const std::string &address) const {
    if (limit_ == 0 || unbounded_.count(address))
        return true;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = open_.find(address);
    return found == open_.end() || found->second < limit_;
}

void AddressConnections::opened(const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++open_[address];
}

void AddressConnections::closed(const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = open_.find(address);
    if (found != open_.end() && --found->second == 0)
        open_.erase(found);
}

} // namespace appserver
