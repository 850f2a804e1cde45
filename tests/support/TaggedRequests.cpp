#include "support/TaggedRequests.h"

#include "protocol/RowChanges.h"

#include <httplib.h>

#include <cstdio>

namespace TaggedRequests {

Answer post(int port, const std::string &method, const std::string &sql, const std::string &etag,
            const char *password, const std::string &manipulations) {
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(ServerProcess::kTestUser, password);
    client.set_read_timeout(10);
    client.set_decompress(false);
    httplib::Headers headers{{"Accept-Encoding", "gzip"}};
    if (!etag.empty())
        headers.emplace("If-None-Match", etag);
    if (!manipulations.empty())
        headers.emplace("A-IM", manipulations);
    auto result =
        client.Post("/datasnap/rest/TZelServerDataBase/" + method, headers, sql, "text/plain");
    if (!result)
        return {};
    return {result->status,
            result->body,
            result->get_header_value("ETag"),
            result->get_header_value("Content-Encoding"),
            result->get_header_value(RowChanges::kDeltaBaseHeader),
            result->get_header_value(RowChanges::kRowsKeptHeader)};
}

nlohmann::json rowsOf(const Answer &answer, const nlohmann::json &earlierRows) {
    const nlohmann::json body = nlohmann::json::parse(answer.body);
    if (answer.status != 226)
        return body["rows"];
    size_t front = 0, back = 0;
    std::sscanf(answer.rowsKept.c_str(), "%zu, %zu", &front, &back);
    nlohmann::json rows = nlohmann::json::array();
    for (size_t i = 0; i < front; ++i)
        rows.push_back(earlierRows[i]);
    for (const nlohmann::json &row : body["rows"])
        rows.push_back(row);
    for (size_t i = earlierRows.size() - back; i < earlierRows.size(); ++i)
        rows.push_back(earlierRows[i]);
    return rows;
}

} // namespace TaggedRequests
