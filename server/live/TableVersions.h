#pragma once
// The versions of the four client tables, as a session tells them, and the
// short token a client sends back to say which of them it has seen.

#include "storage/Storage.h"

#include <array>
#include <optional>
#include <string>

namespace appserver {

struct TableVersions {
    static constexpr std::array<const char *, 4> kTables = {"Login", "Programe", "Task", "Notice"};
    std::array<std::string, 4> versions; // in the order of kTables

    // Changes whenever one of the versions does; hexadecimal, safe in a URL.
    std::string token() const;
    // {"token":"…","tables":{"Login":"…",…}}: what a waiting client is answered.
    std::string json() const;
    bool operator==(const TableVersions &other) const { return versions == other.versions; }
};

// Read through session, as a request of its own; nullopt when the session
// cannot tell now (a change under way, a database without counters).
std::optional<TableVersions> readTableVersions(Session &session);

} // namespace appserver
