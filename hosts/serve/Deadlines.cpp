#include "hosts/serve/Deadlines.h"

#include <algorithm>

void Waiter::Leave() {
    previous_->next_ = next_;
    next_->previous_ = previous_;
    previous_ = next_ = this;
}

void Deadlines::Enter(Waiter& waiter, Wait wait, Clock::time_point since) {
    if (waiter.Queued() && waiter.wait_ == wait && waiter.since_ == since) return;
    waiter.Leave();
    waiter.wait_ = wait;
    waiter.since_ = since;
    // Its place is at the back, as its wait began last; all but a wait for the rest of a
    // request, which dates from the request's first byte, possibly before the answers to the
    // requests ahead of it had gone out. Such a one walks forward past the later ones.
    Waiter* const head = &queues_[static_cast<std::size_t>(wait)];
    Waiter* after = head->previous_;
    while (after != head && after->since_ > since) after = after->previous_;
    waiter.previous_ = after;
    waiter.next_ = after->next_;
    after->next_->previous_ = &waiter;
    after->next_ = &waiter;
}

Waiter* Deadlines::Front(Wait wait) const {
    Waiter* const head = &queues_[static_cast<std::size_t>(wait)];
    return head->next_ == head ? nullptr : head->next_;
}

Waiter* Deadlines::Expired(Clock::time_point now, bool crowded) const {
    for (const Wait wait : kWaits) {
        Waiter* const oldest = Front(wait);
        if (oldest != nullptr && now - oldest->since_ > limits_.Of(wait, crowded)) return oldest;
    }
    return nullptr;
}

std::optional<Deadlines::Clock::time_point> Deadlines::NextEnd(bool crowded) const {
    std::optional<Clock::time_point> next;
    for (const Wait wait : kWaits) {
        if (const Waiter* oldest = Front(wait)) {
            const auto end = oldest->since_ + limits_.Of(wait, crowded);
            next = next ? std::min(*next, end) : end;
        }
    }
    return next;
}

Waiter* Deadlines::Evictable(Clock::time_point began_before) const {
    Waiter* oldest = nullptr;
    for (const Wait wait : {Wait::kIdle, Wait::kRequest}) {
        Waiter* const front = Front(wait);
        if (front != nullptr && (oldest == nullptr || front->since_ < oldest->since_)) {
            oldest = front;
        }
    }
    return oldest != nullptr && oldest->since_ < began_before ? oldest : nullptr;
}
