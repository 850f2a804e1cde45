#pragma once
// The last answer of each recent OpenSQL statement with its entity tag, so
// that asking again costs the server a 304 and the client no parsing when
// nothing the statement reads has changed. Safe to use from several threads.

#include "data/answers/DataPacket.h"

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

class RememberedAnswers {
public:
    struct Answer {
        std::string etag;
        PDataPacket packet;
    };
    std::optional<Answer> find(const std::string &statement);
    void keep(const std::string &statement, Answer answer);

private:
    // The client repeats a few statements (the panel, the reminder's counts,
    // the lists); searches come and go, so the memory is kept small.
    static constexpr size_t kStatements = 32;

    std::mutex mutex_;
    std::unordered_map<std::string, Answer> byStatement_;
};
