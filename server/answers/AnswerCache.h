#pragma once
// Recent OpenSQL answers, shared by every member: an answer depends only on
// its statement and the data, so it is kept under the statement and the
// version of the data it read, and the next member asking the same while
// nothing it reads has changed gets it without running the statement.
// Bounded in bytes, each answer counted once at what it holds (its text,
// where its rows start, and its compressed form once made). An answer a later
// one of its statement has replaced goes before any answer still current,
// the least recently used first: a statement answered anew at every change,
// such as the notice panel, then cannot push every member's own lists out.

#include "answers/StoredCells.h"

#include <atomic>
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

class AnswerCache;

class CachedAnswer {
public:
    // rowStarts: where each row's "[" stands in json, as JsonRowsWriter wrote
    // it; cells: the rows' cells, when they were kept.
    // The text's room beyond its length is given back: an answer is written
    // into the room the last of its shape took, which may be far more.
    CachedAnswer(std::string etag, std::string json, std::vector<uint32_t> rowStarts,
                 StoredCells cells = {});
    const std::string &etag() const { return etag_; }
    const std::string &json() const { return json_; }
    size_t rows() const { return rowStarts_.size(); }
    // The text before the first row, {"columns":[...],"rows":[
    std::string_view head() const;
    // One row's text, [...]
    std::string_view row(size_t index) const;
    // The cells of every row, or nothing.
    const StoredCells *cells() const { return cells_.rows() == rows() ? &cells_ : nullptr; }
    // Compressed on first need, then kept with the answer (and counted by
    // the cache keeping it).
    const std::string &gzip() const;
    // The memory it holds now.
    size_t bytes() const {
        return etag_.size() + json_.capacity() + rowStarts_.capacity() * sizeof(uint32_t) +
               cells_.bytes() + gzipBytes_.load();
    }

private:
    friend class AnswerCache;

    std::string etag_;
    std::string json_;
    std::vector<uint32_t> rowStarts_;
    StoredCells cells_;
    mutable std::once_flag compressed_;
    mutable std::string gzip_;
    mutable std::atomic<size_t> gzipBytes_{0};
    // The cache that keeps it, told when its compressed form is made; set
    // and cleared under that cache's mutex.
    mutable std::atomic<AnswerCache *> keptBy_{nullptr};
};

class AnswerCache {
public:
    explicit AnswerCache(size_t maxBytes) : maxBytes_(maxBytes) {}
    ~AnswerCache();
    AnswerCache(const AnswerCache &) = delete;
    AnswerCache &operator=(const AnswerCache &) = delete;

    std::shared_ptr<const CachedAnswer> find(const std::string &key);
    // The answer to statement that went out under etag, if it is still kept.
    std::shared_ptr<const CachedAnswer> findSent(std::string_view etag,
                                                 const std::string &statement);
    // Whether an answer of this many bytes (key and text) would be kept: one
    // taking more than an eighth of the cache is not.
    bool keeps(size_t bytes) const { return bytes <= largestKept(); }
    size_t largestKept() const { return maxBytes_ / 8; }
    // False when it is not kept: too large, or another answer under key was first.
    bool store(const std::string &key, std::shared_ptr<const CachedAnswer> answer);
    // The bytes the kept answers hold, all told.
    size_t bytes() const;

private:
    friend class CachedAnswer;
    struct Entry {
        std::string key;
        std::shared_ptr<const CachedAnswer> answer;
        size_t counted;          // what bytes_ holds for it
        bool replaced = false;   // in replaced_, not current_
    };
    using Place = std::list<Entry>::iterator;
    void dropOldest(); // with mutex_ held
    void replaceEarlierOf(Place latest); // with mutex_ held
    // answer's compressed form was made: counted while answer is kept.
    void compressed(const CachedAnswer &answer);

    mutable std::mutex mutex_;
    size_t maxBytes_;
    size_t bytes_ = 0;
    // Most recently used first: the latest answer of each statement, and
    // those a later one replaced.
    std::list<Entry> current_, replaced_;
    std::unordered_map<std::string, Place> byKey_;
    std::unordered_multimap<std::string, Place> byTag_;
    std::unordered_map<std::string, Place> latestOf_; // by statement
};

} // namespace appserver
