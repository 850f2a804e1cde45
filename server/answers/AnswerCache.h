#pragma once
// Recent OpenSQL answers, shared by every member: an answer depends only on
// its statement and the data, so it is kept under the statement and the
// version of the data it read, and the next member asking the same while
// nothing it reads has changed gets it without running the statement.
// Bounded in bytes; the least recently used answers go first.

#include "answers/StoredCells.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace appserver {

class CachedAnswer {
public:
    // rowStarts: where each row's "[" stands in json, as JsonRowsWriter wrote
    // it; cells: the rows' cells, when they were kept.
    CachedAnswer(std::string etag, std::string json, std::vector<uint32_t> rowStarts,
                 StoredCells cells = {})
        : etag_(std::move(etag)), json_(std::move(json)), rowStarts_(std::move(rowStarts)),
          cells_(std::move(cells)) {}
    const std::string &etag() const { return etag_; }
    const std::string &json() const { return json_; }
    size_t rows() const { return rowStarts_.size(); }
    // The text before the first row, {"columns":[...],"rows":[
    std::string_view head() const;
    // One row's text, [...]
    std::string_view row(size_t index) const;
    // The cells of every row, or nothing.
    const StoredCells *cells() const { return cells_.rows() == rows() ? &cells_ : nullptr; }
    // Compressed on first need, then kept with the answer.
    const std::string &gzip() const;
    size_t bytes() const { // with room for its gzip form
        return etag_.size() + json_.size() * 2 + rowStarts_.size() * sizeof(uint32_t) +
               cells_.bytes();
    }

private:
    std::string etag_;
    std::string json_;
    std::vector<uint32_t> rowStarts_;
    StoredCells cells_;
    mutable std::once_flag compressed_;
    mutable std::string gzip_;
};

class AnswerCache {
public:
    explicit AnswerCache(size_t maxBytes) : maxBytes_(maxBytes) {}

    std::shared_ptr<const CachedAnswer> find(const std::string &key);
    // The answer to statement that went out under etag, if it is still kept.
    std::shared_ptr<const CachedAnswer> findSent(std::string_view etag,
                                                 const std::string &statement);
    // Whether an answer of this many bytes (key and text) would be kept: one
    // taking (with its compressed form) more than a quarter of the cache is not.
    bool keeps(size_t bytes) const { return bytes <= largestKept(); }
    size_t largestKept() const { return maxBytes_ / 8; }
    // False when it is not kept: too large, or another answer under key was first.
    bool store(const std::string &key, std::shared_ptr<const CachedAnswer> answer);

private:
    struct Entry {
        std::string key;
        std::shared_ptr<const CachedAnswer> answer;
    };
    void dropOldest(); // with mutex_ held

    std::mutex mutex_;
    size_t maxBytes_;
    size_t bytes_ = 0;
    std::list<Entry> recent_; // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> byKey_;
    std::unordered_multimap<std::string, std::list<Entry>::iterator> byTag_;
};

} // namespace appserver
