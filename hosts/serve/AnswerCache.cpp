#include "hosts/serve/AnswerCache.h"

namespace {

// What an entry costs besides its bytes: its list and index nodes and the answer's block.
constexpr std::size_t kEntryOverhead = 256;

std::size_t SizeOf(std::string_view key, const KeptAnswer& answer) {
    return kEntryOverhead + key.size() + answer.tag.size() + answer.full.head.size() +
           answer.full.body.size() + answer.not_modified.head.size();
}

}  // namespace

AnswerCache::AnswerCache(std::size_t limit, AnswerMemory& memory) : limit_(limit), memory_(memory) {
    memory_.set_keeper(this);
}

AnswerCache::~AnswerCache() {
    memory_.set_keeper(nullptr);
    const std::lock_guard lock(mutex_);
    while (DropOldest()) {
    }
}

AnswerCache::Found AnswerCache::Find(std::string_view key) {
    const std::lock_guard lock(mutex_);
    const auto found = index_.find(key);
    if (found == index_.end()) {
        misses_.fetch_add(1, std::memory_order_relaxed);
        const std::size_t hash = std::hash<std::string_view>()(key);
        std::size_t& slot = missed_[hash % missed_.size()];
        const bool again = slot == hash;
        slot = hash;
        return {nullptr, again};
    }
    hits_.fetch_add(1, std::memory_order_relaxed);
    order_.splice(order_.begin(), order_, found->second);
    return {found->second->answer, true};
}

void AnswerCache::Keep(std::string_view key, std::shared_ptr<const KeptAnswer> answer) {
    const std::size_t size = SizeOf(key, *answer);
    if (size > limit_ / 16) return;
    const std::lock_guard lock(mutex_);
    if (const auto found = index_.find(key); found != index_.end()) Drop(found->second);
    // Room under the cache's own limit, then in what the answers leave free.
    while (held_.load(std::memory_order_relaxed) + size > limit_ && DropOldest()) {
    }
    while (!memory_.TryKeep(size)) {
        if (!DropOldest()) return;
    }
    order_.push_front(Entry{std::string(key), std::move(answer), size});
    index_.emplace(order_.front().key, order_.begin());
    held_.fetch_add(size, std::memory_order_relaxed);
}

void AnswerCache::Free(std::size_t bytes) {
    const std::lock_guard lock(mutex_);
    const std::size_t held = held_.load(std::memory_order_relaxed);
    const std::size_t goal = held > bytes ? held - bytes : 0;
    while (held_.load(std::memory_order_relaxed) > goal) DropOldest();
}

bool AnswerCache::DropOldest() {
    if (order_.empty()) return false;
    Drop(std::prev(order_.end()));
    return true;
}

void AnswerCache::Drop(Order::iterator entry) {
    held_.fetch_sub(entry->size, std::memory_order_relaxed);
    memory_.GiveKept(entry->size);
    index_.erase(entry->key);
    order_.erase(entry);
}
