// The memory the server's answers hold, across all its workers: the room of answers made and
// not yet all sent (the sent part of an answer too, which is freed only with the rest), and
// answers being made on its answer threads. An answer made on an event loop is
// small and is counted once made, whatever the count; a costly one (a large picture) is
// counted from before it is made, and made only when it fits under the limit, so that clients
// that ask and never read cannot make the server hold more than the limit. While the limit is
// spent, a connection with answers unsent serves no more until they have gone out.
#pragma once

#include <atomic>
#include <cstddef>

class AnswerMemory {
public:
    explicit AnswerMemory(std::size_t limit) : limit_(limit) {}
    AnswerMemory(const AnswerMemory&) = delete;
    AnswerMemory& operator=(const AnswerMemory&) = delete;

    // Counts `bytes` if they fit under the limit, or if nothing else is counted (so that an
    // answer larger than the whole limit is still made, alone); false otherwise.
    bool TryTake(std::size_t bytes) {
        std::size_t used = used_.load(std::memory_order_relaxed);
        do {
            if (used != 0 && used + bytes > limit_) return false;
        } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
        return true;
    }
    // Counts `bytes` whatever the limit: an answer already made.
    void Take(std::size_t bytes) { used_.fetch_add(bytes, std::memory_order_relaxed); }
    void Give(std::size_t bytes) { used_.fetch_sub(bytes, std::memory_order_relaxed); }

    std::size_t used() const { return used_.load(std::memory_order_relaxed); }
    bool Spent() const { return used() >= limit_; }
    std::size_t limit() const { return limit_; }

private:
    const std::size_t limit_;
    std::atomic<std::size_t> used_{0};
};
