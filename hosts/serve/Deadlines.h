// When the waits of one worker's connections end. A connection waits for one thing at a
// time (ConnectionLimits says how long each may last), and since every wait of a kind has the
// same limit, the waits of a kind end in the order they began: each kind is a queue, ordered
// by when its waits began. A connection joins its queue when a wait begins, moves when it
// begins again, and leaves when it closes; the links live in the connection, so none of that
// allocates, and a wake looks at the front of each queue and takes what is due, never every
// connection. While the server is full, idle connections are given less time: the same
// queue, read against the shorter limit. The front of a queue is its oldest wait: the longest
// idle connection, the slowest request; when a full server makes room for a new client, it
// closes the one whose wait is the least worth keeping.
#pragma once

#include <array>
#include <chrono>
#include <optional>

#include "hosts/serve/ConnectionLimits.h"

// Something that waits: a link in the queue of its wait. It leaves the queue when destroyed.
class Waiter {
public:
    using Clock = std::chrono::steady_clock;

    Waiter() = default;
    ~Waiter() { Leave(); }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

private:
    friend class Deadlines;
    void Leave();
    bool Queued() const { return next_ != this; }

    // In a circular list through its queue's head; alone, linked to itself.
    Waiter* previous_ = this;
    Waiter* next_ = this;
    Wait wait_ = Wait::kIdle;
    Clock::time_point since_{};
};

class Deadlines {
public:
    using Clock = Waiter::Clock;

    explicit Deadlines(const ConnectionLimits& limits) : limits_(limits) {}
    Deadlines(const Deadlines&) = delete;
    Deadlines& operator=(const Deadlines&) = delete;

    // `waiter` waits for `wait` since `since`; nothing changes when it already did.
    void Enter(Waiter& waiter, Wait wait, Clock::time_point since);
    // A waiter whose wait has lasted longer than its limit, or null; the longest first.
    Waiter* Expired(Clock::time_point now, bool crowded) const;
    // When the first wait still under way reaches its limit; none when nothing waits.
    std::optional<Clock::time_point> NextEnd(bool crowded) const;
    // The waiter to close to make room, or null: the longest idle or the slowest request,
    // whichever began first, provided it began before `began_before`. One that waits for the
    // client to take an answer, or for an answer to be made, is never chosen, having a
    // request in hand; nor one that lingers, whose last answer may still be on its way.
    Waiter* Evictable(Clock::time_point began_before) const;

private:
    static constexpr std::array kWaits = {Wait::kRequest, Wait::kIdle, Wait::kWrite, Wait::kLinger,
                                          Wait::kAnswer};
    Waiter* Front(Wait wait) const;

    const ConnectionLimits& limits_;
    // Each queue's head: its next_ is the oldest wait, its previous_ the newest.
    mutable std::array<Waiter, kWaits.size()> queues_;
};
