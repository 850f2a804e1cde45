#include "support/TaggedRequests.h"

#include "protocol/RowChanges.h"

#include <httplib.h>

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

} // namespace TaggedRequests
