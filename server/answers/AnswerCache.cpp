#include "answers/AnswerCache.h"

#include "answers/AnswerCompression.h"

#include <iterator>

namespace appserver {

CachedAnswer::CachedAnswer(std::string etag, std::string json, std::vector<uint32_t> rowStarts,
                           StoredCells cells)
    : etag_(std::move(etag)), json_(std::move(json)), rowStarts_(std::move(rowStarts)),
      cells_(std::move(cells)) {
    if (json_.capacity() > json_.size() + json_.size() / 8 + 4096)
        json_.shrink_to_fit();
    if (rowStarts_.capacity() > rowStarts_.size() + rowStarts_.size() / 8 + 1024)
        rowStarts_.shrink_to_fit();
}

const std::string &CachedAnswer::gzip() const {
    std::call_once(compressed_, [this] {
        gzip_ = gzipped(json_);
        gzipBytes_ = gzip_.size();
        if (AnswerCache *cache = keptBy_.load())
            cache->compressed(*this);
    });
    return gzip_;
}

std::string_view CachedAnswer::head() const {
    const size_t end = rowStarts_.empty() ? json_.size() - 2 : rowStarts_.front();
    return std::string_view(json_).substr(0, end);
}

std::string_view CachedAnswer::row(size_t index) const {
    // Rows are separated by a comma; the last is followed by "]}".
    const size_t end = index + 1 < rowStarts_.size() ? rowStarts_[index + 1] - 1 : json_.size() - 2;
    return std::string_view(json_).substr(rowStarts_[index], end - rowStarts_[index]);
}

namespace {

// A key is the data's version, a newline, and the statement.
std::string_view statementOf(const std::string &key) {
    const size_t newline = key.find('\n');
    return newline == std::string::npos ? std::string_view(key)
                                        : std::string_view(key).substr(newline + 1);
}

} // namespace

AnswerCache::~AnswerCache() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto *list : {&current_, &replaced_})
        for (const Entry &entry : *list)
            entry.answer->keptBy_ = nullptr;
}

size_t AnswerCache::bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

std::shared_ptr<const CachedAnswer> AnswerCache::find(const std::string &key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = byKey_.find(key);
    if (found == byKey_.end())
        return nullptr;
    auto &list = found->second->replaced ? replaced_ : current_;
    list.splice(list.begin(), list, found->second);
    return found->second->answer;
}

std::shared_ptr<const CachedAnswer> AnswerCache::findSent(std::string_view etag,
                                                          const std::string &statement) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto [from, to] = byTag_.equal_range(std::string(etag));
    for (; from != to; ++from) {
        const std::string &key = from->second->key; // version, newline, statement
        if (key.size() > statement.size() && key[key.size() - statement.size() - 1] == '\n' &&
            key.compare(key.size() - statement.size(), statement.size(), statement) == 0)
            return from->second->answer;
    }
    return nullptr;
}

bool AnswerCache::store(const std::string &key, std::shared_ptr<const CachedAnswer> answer) {
    if (!keeps(key.size() + answer->json().size()))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (byKey_.count(key) || answer->keptBy_.load())
        return false; // another member's run of the same got there first
    answer->keptBy_ = this;
    const size_t size = key.size() + answer->bytes();
    current_.push_front(Entry{key, std::move(answer), size});
    byKey_.emplace(key, current_.begin());
    byTag_.emplace(current_.front().answer->etag(), current_.begin());
    replaceEarlierOf(current_.begin());
    bytes_ += size;
    while (bytes_ > maxBytes_)
        dropOldest();
    return true;
}

void AnswerCache::replaceEarlierOf(Place latest) {
    auto [at, first] = latestOf_.try_emplace(std::string(statementOf(latest->key)), latest);
    if (first)
        return;
    // Kept after the other, it read the data no earlier, or as good as: a
    // reader that started before a change may finish after it.
    Place earlier = at->second;
    at->second = latest;
    earlier->replaced = true;
    replaced_.splice(replaced_.begin(), current_, earlier);
}

void AnswerCache::compressed(const CachedAnswer &answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (answer.keptBy_.load() != this)
        return; // dropped meanwhile
    auto [from, to] = byTag_.equal_range(answer.etag());
    for (; from != to; ++from)
        if (from->second->answer.get() == &answer) {
            const size_t now = from->second->key.size() + answer.bytes();
            bytes_ += now - from->second->counted;
            from->second->counted = now;
            break;
        }
    while (bytes_ > maxBytes_)
        dropOldest();
}

void AnswerCache::dropOldest() {
    auto &list = replaced_.empty() ? current_ : replaced_;
    const Place oldest = std::prev(list.end());
    bytes_ -= oldest->counted;
    oldest->answer->keptBy_ = nullptr;
    byKey_.erase(oldest->key);
    auto [from, to] = byTag_.equal_range(oldest->answer->etag());
    for (; from != to; ++from)
        if (from->second == oldest) {
            byTag_.erase(from);
            break;
        }
    if (!oldest->replaced)
        latestOf_.erase(std::string(statementOf(oldest->key)));
    list.pop_back();
}

} // namespace appserver
