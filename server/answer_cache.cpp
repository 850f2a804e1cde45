#include "answer_cache.h"

#include "answer_compression.h"

namespace appserver {

const std::string &CachedAnswer::gzip() const {
    std::call_once(compressed_, [this] { gzip_ = gzipped(json_); });
    return gzip_;
}

std::shared_ptr<const CachedAnswer> AnswerCache::find(const std::string &key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = byKey_.find(key);
    if (found == byKey_.end())
        return nullptr;
    recent_.splice(recent_.begin(), recent_, found->second);
    return found->second->answer;
}

void AnswerCache::store(const std::string &key, std::shared_ptr<const CachedAnswer> answer) {
    if (!keeps(key.size() + answer->json().size()))
        return;
    const size_t size = key.size() + answer->bytes();
    std::lock_guard<std::mutex> lock(mutex_);
    if (byKey_.count(key))
        return; // another member's run of the same got there first
    recent_.push_front(Entry{key, std::move(answer)});
    byKey_.emplace(key, recent_.begin());
    bytes_ += size;
    while (bytes_ > maxBytes_)
        dropOldest();
}

void AnswerCache::dropOldest() {
    const Entry &oldest = recent_.back();
    bytes_ -= oldest.key.size() + oldest.answer->bytes();
    byKey_.erase(oldest.key);
    recent_.pop_back();
}

} // namespace appserver
