#pragma once
// Bounds the connections one address holds open at once, so that one person
// on the network cannot take every connection. The addresses of trusted
// reverse proxies are not bounded: every member behind one comes through it.

#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace appserver {

class AddressConnections {
public:
    // limit: connections one address may hold; 0: no limit.
    AddressConnections(unsigned limit, std::unordered_set<std::string> unbounded)
        : limit_(limit), unbounded_(std::move(unbounded)) {}
    AddressConnections(const AddressConnections &) = delete;
    AddressConnections &operator=(const AddressConnections &) = delete;

    // Whether one more connection from address may open now.
    bool admits(const std::string &address) const;
    void opened(const std::string &address);
    void closed(const std::string &address);

private:
    const unsigned limit_;
    const std::unordered_set<std::string> unbounded_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, unsigned> open_;
};

} // namespace appserver
