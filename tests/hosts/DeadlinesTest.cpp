// The order in which waits end: the front of each kind's queue, whatever order the waits
// began or moved in, with the limits of ConnectionLimits.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "hosts/serve/Deadlines.h"

namespace {

using namespace std::chrono_literals;
using Clock = Deadlines::Clock;

struct Named : Waiter {
    explicit Named(char n) : name(n) {}
    char name;
};

Clock::time_point At(std::chrono::milliseconds ms) {
    return Clock::time_point{} + ms;
}

class DeadlinesTest : public testing::Test {
protected:
    DeadlinesTest() {
        limits_.request_timeout = 100ms;
        limits_.idle_timeout = 300ms;
        limits_.crowded_idle_timeout = 50ms;
        limits_.crowded_request_timeout = 70ms;
        limits_.write_timeout = 200ms;
        limits_.linger_timeout = 20ms;
    }
    // The names of the waiters expired at `now`, in the order found, each leaving as it
    // would when its connection closes.
    std::string ExpireAt(std::chrono::milliseconds now, bool crowded = false) {
        std::string names;
        while (Waiter* expired = deadlines_.Expired(At(now), crowded)) {
            Named* named = static_cast<Named*>(expired);
            names += named->name;
            deadlines_.Enter(*named, Wait::kLinger, At(1h));  // out of the way
        }
        return names;
    }

    ConnectionLimits limits_;
    Deadlines deadlines_{limits_};
};

TEST_F(DeadlinesTest, EachKindEndsAfterItsOwnLimitOldestFirst) {
    Named a('a'), b('b'), c('c'), d('d');
    deadlines_.Enter(a, Wait::kIdle, At(0ms));      // ends at 300
    deadlines_.Enter(b, Wait::kRequest, At(10ms));  // ends at 110
    deadlines_.Enter(c, Wait::kWrite, At(20ms));    // ends at 220
    deadlines_.Enter(d, Wait::kRequest, At(30ms));  // ends at 130
    EXPECT_EQ(deadlines_.NextEnd(false), At(110ms));
    EXPECT_EQ(ExpireAt(110ms), "");  // a wait ends once it has lasted longer than its limit
    EXPECT_EQ(ExpireAt(111ms), "b");
    EXPECT_EQ(deadlines_.NextEnd(false), At(130ms));
    EXPECT_EQ(ExpireAt(250ms), "dc");
    EXPECT_EQ(ExpireAt(301ms), "a");
}

TEST_F(DeadlinesTest, AFullServerReadsTheIdleAndRequestQueuesAgainstTheShorterLimits) {
    Named a('a'), b('b'), c('c'), r('r');
    deadlines_.Enter(a, Wait::kIdle, At(0ms));
    deadlines_.Enter(b, Wait::kIdle, At(40ms));
    deadlines_.Enter(c, Wait::kIdle, At(80ms));
    deadlines_.Enter(r, Wait::kRequest, At(20ms));
    EXPECT_EQ(deadlines_.NextEnd(true), At(50ms));
    EXPECT_EQ(ExpireAt(100ms, true), "rab");
    EXPECT_EQ(deadlines_.NextEnd(false), At(380ms));
}

TEST_F(DeadlinesTest, MakingRoomTakesTheOldestIdleOrRequestThatBeganBeforeTheRound) {
    Named idle('i'), request('r'), writing('w'), lingering('l'), answering('a');
    deadlines_.Enter(writing, Wait::kWrite, At(0ms));
    deadlines_.Enter(lingering, Wait::kLinger, At(0ms));
    deadlines_.Enter(answering, Wait::kAnswer, At(0ms));
    EXPECT_EQ(deadlines_.Evictable(At(1h)), nullptr);  // each has a request in hand, or had
    deadlines_.Enter(request, Wait::kRequest, At(20ms));
    deadlines_.Enter(idle, Wait::kIdle, At(30ms));
    EXPECT_EQ(deadlines_.Evictable(At(20ms)), nullptr);  // none began before
    EXPECT_EQ(deadlines_.Evictable(At(21ms)), &request);
    EXPECT_EQ(deadlines_.Evictable(At(1h)), &request);
    deadlines_.Enter(request, Wait::kRequest, At(40ms));  // began again: a later request
    EXPECT_EQ(deadlines_.Evictable(At(1h)), &idle);
}

TEST_F(DeadlinesTest, AWaitThatBeginsAgainMovesBackAndAClosedOneLeaves) {
    Named a('a'), b('b');
    deadlines_.Enter(a, Wait::kWrite, At(0ms));
    deadlines_.Enter(b, Wait::kWrite, At(10ms));
    deadlines_.Enter(a, Wait::kWrite, At(50ms));  // the client took some: its wait begins again
    EXPECT_EQ(deadlines_.NextEnd(false), At(210ms));
    {
        Named gone('g');
        deadlines_.Enter(gone, Wait::kLinger, At(0ms));
    }
    EXPECT_EQ(ExpireAt(240ms), "b");
    EXPECT_EQ(ExpireAt(251ms), "a");
    EXPECT_EQ(deadlines_.NextEnd(false), At(1h + 20ms));
}

TEST_F(DeadlinesTest, ARequestThatBeganBeforeOthersTakesItsPlaceAmongThem) {
    // A pipelined request's first byte came while answers were still going out: its wait
    // for the rest dates from then, before requests that other connections began meanwhile.
    Named a('a'), b('b'), c('c');
    deadlines_.Enter(b, Wait::kRequest, At(20ms));
    deadlines_.Enter(c, Wait::kRequest, At(40ms));
    deadlines_.Enter(a, Wait::kRequest, At(10ms));
    EXPECT_EQ(deadlines_.NextEnd(false), At(110ms));
    EXPECT_EQ(ExpireAt(125ms), "ab");
    EXPECT_EQ(ExpireAt(141ms), "c");
    EXPECT_EQ(deadlines_.NextEnd(false), At(1h + 20ms));
}

}  // namespace
