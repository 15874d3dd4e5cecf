// Answers kept for the requests that ask for them again, so that a popular picture is made
// once or twice and then only sent: bounded in bytes, the answers found least recently
// dropped first, shared by every worker and answer thread. What an answer depends on is its
// key, which the routes write; the cache only keeps and finds. Its memory counts in the
// server's AnswerMemory, in what the answers leave free, and gives way to them.
//
// An answer is worth keeping once it has been asked for twice: every answer of a flood of
// different requests kept would push out the ones asked for again, and cost more than it
// saves (measured: 15.8 us of CPU a request for six digits different each time, against
// 12.3 us keeping none, as each answer's memory is new to the processor's caches).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "hosts/serve/AnswerMemory.h"
#include "hosts/serve/HttpMessage.h"

// An answer as it is kept: sent as it is, or as 304 Not Modified (its head alone) to a
// client whose copy carries its entity tag.
struct KeptAnswer {
    std::string tag;
    PreparedAnswer full;
    PreparedAnswer not_modified;
};

class AnswerCache final : public GivesWay {
public:
    // Keeps at most `limit` bytes, counted in `memory`.
    AnswerCache(std::size_t limit, AnswerMemory& memory);
    ~AnswerCache();
    AnswerCache(const AnswerCache&) = delete;
    AnswerCache& operator=(const AnswerCache&) = delete;

    struct Found {
        std::shared_ptr<const KeptAnswer> answer;  // null: none kept
        bool worth_keeping = false;                // the key was looked for a moment ago
    };
    // The answer kept under `key`, if any; counted as a hit or a miss.
    Found Find(std::string_view key);
    // Keeps `answer` under `key`, in the place of what was there, unless it is larger than a
    // sixteenth of the limit or there is no room for it.
    void Keep(std::string_view key, std::shared_ptr<const KeptAnswer> answer);
    void Free(std::size_t bytes) override;

    std::uint64_t hits() const { return hits_.load(std::memory_order_relaxed); }
    std::uint64_t misses() const { return misses_.load(std::memory_order_relaxed); }
    std::size_t bytes() const { return held_.load(std::memory_order_relaxed); }

private:
    struct Entry {
        std::string key;
        std::shared_ptr<const KeptAnswer> answer;
        std::size_t size;  // as counted
    };
    using Order = std::list<Entry>;

    // Drops the entry found least recently; false when there is none. The caller holds mutex_.
    bool DropOldest();
    void Drop(Order::iterator entry);

    const std::size_t limit_;
    AnswerMemory& memory_;
    std::mutex mutex_;
    // The hashes of the keys missed lately, each in the slot its hash chooses; a key is asked
    // for again while its hash is still there.
    std::array<std::size_t, 4096> missed_{};
    Order order_;  // the entry found (or kept) most recently first
    std::unordered_map<std::string_view, Order::iterator> index_;  // keys view the entries'
    std::atomic<std::size_t> held_{0};                             // counted in memory_
    std::atomic<std::uint64_t> hits_{0};
    std::atomic<std::uint64_t> misses_{0};
};
