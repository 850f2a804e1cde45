#include "live/TableVersions.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace appserver {

std::string TableVersions::token() const {
    // FNV-1a over the versions, each ended by a byte no version holds.
    unsigned long long hash = 14695981039346656037ull;
    for (const std::string &version : versions) {
        for (const char c : version + '\0') {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", hash);
    return text;
}

std::string TableVersions::json() const {
    nlohmann::json tables = nlohmann::json::object();
    for (size_t i = 0; i < kTables.size(); ++i)
        tables[kTables[i]] = versions[i];
    return nlohmann::json{{"token", token()}, {"tables", tables}}.dump();
}

std::optional<TableVersions> readTableVersions(Session &session) {
    session.beginRequest();
    TableVersions read;
    for (size_t i = 0; i < TableVersions::kTables.size(); ++i) {
        auto version =
            session.dataVersion(std::string("Select * From ") + TableVersions::kTables[i]);
        if (!version)
            return std::nullopt;
        read.versions[i] = std::move(*version);
    }
    return read;
}

} // namespace appserver
