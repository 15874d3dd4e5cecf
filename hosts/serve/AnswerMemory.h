// The memory the server's answers hold, across all its workers: the room of answers made and
// not yet all sent (the sent part of an answer too, which is freed only with the rest), and
// answers being made on its answer threads. An answer made on an event loop is
// small and is counted once made, whatever the count; a costly one (a large picture) is
// counted from before it is made, and made only when it fits under the limit, so that clients
// that ask and never read cannot make the server hold more than the limit. While the limit is
// spent, a connection with answers unsent serves no more until they have gone out.
//
// Answers kept for later requests (an AnswerCache) count under the same limit, but only in
// what the answers leave free, and they give way: whenever the answers grow into their share,
// the cache is told to drop as much, so that no answer is refused, and no connection waits,
// because the cache holds memory.
#pragma once

#include <atomic>
#include <cstddef>

// What holds memory that the answers may take back.
class GivesWay {
public:
    // Frees at least `bytes` of what it holds (or all of it), giving it back with GiveKept.
    virtual void Free(std::size_t bytes) = 0;

protected:
    ~GivesWay() = default;
};

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
        MakeRoom();
        return true;
    }
    // Counts `bytes` whatever the limit: an answer already made.
    void Take(std::size_t bytes) {
        used_.fetch_add(bytes, std::memory_order_relaxed);
        MakeRoom();
    }
    void Give(std::size_t bytes) { used_.fetch_sub(bytes, std::memory_order_relaxed); }

    // What answers hold, apart from what is kept.
    std::size_t used() const { return used_.load(std::memory_order_relaxed); }
    bool Spent() const { return used() >= limit_; }
    std::size_t limit() const { return limit_; }

    // The memory of answers kept by `keeper`, which gives way (null: none kept).
    void set_keeper(GivesWay* keeper) { keeper_.store(keeper); }
    // Counts `bytes` kept if the answers and what is kept already leave them free.
    bool TryKeep(std::size_t bytes) {
        std::size_t kept = kept_.load(std::memory_order_relaxed);
        do {
            if (used() + kept + bytes > limit_) return false;
        } while (!kept_.compare_exchange_weak(kept, kept + bytes, std::memory_order_relaxed));
        return true;
    }
    void GiveKept(std::size_t bytes) { kept_.fetch_sub(bytes, std::memory_order_relaxed); }
    std::size_t kept() const { return kept_.load(std::memory_order_relaxed); }

private:
    // What is kept gives way to the answers, down to what they leave free.
    void MakeRoom() {
        const std::size_t kept = kept_.load(std::memory_order_relaxed);
        if (kept == 0) return;
        const std::size_t wanted = used() + kept;
        if (wanted <= limit_) return;
        if (GivesWay* keeper = keeper_.load()) keeper->Free(wanted - limit_);
    }

    const std::size_t limit_;
    std::atomic<std::size_t> used_{0};
    std::atomic<std::size_t> kept_{0};
    std::atomic<GivesWay*> keeper_{nullptr};
};
