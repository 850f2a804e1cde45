#pragma once
// Asking a test's server over HTTP as the test member, with an entity tag and
// the row changes the client may accept, and reading back what the tests of
// answer reuse look at.

#include "support/ServerProcess.h"

#include <nlohmann/json.hpp>

#include <string>

namespace TaggedRequests {

struct Answer {
    int status = 0; // 0 when the server did not answer
    std::string body;
    std::string etag;
    std::string encoding;  // Content-Encoding
    std::string deltaBase; // with 226
    std::string rowsKept;
};

// POSTs sql to the method; etag goes as If-None-Match and manipulations as
// A-IM when given. Asks for gzip, and keeps a compressed body as it came.
Answer post(int port, const std::string &method, const std::string &sql,
            const std::string &etag = {}, const char *password = ServerProcess::kTestPassword,
            const std::string &manipulations = {});

// The rows of an answer the server sent, whole (200) or as changed rows (226)
// to the earlier rows the asker held.
nlohmann::json rowsOf(const Answer &answer, const nlohmann::json &earlierRows);

} // namespace TaggedRequests
