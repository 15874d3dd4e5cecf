// The answer cache on its own: what it finds, which answers it drops first, how much it holds,
// and how it gives way to the answers under the server's memory budget.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hosts/serve/AnswerCache.h"

namespace {

constexpr std::size_t kBody = 1000;

std::shared_ptr<const KeptAnswer> Kept(std::size_t body = kBody) {
    return std::make_shared<KeptAnswer>(
        KeptAnswer{"\"tag\"", {200, "HTTP/1.1 200 OK\r\n", std::string(body, 'b')}, {}});
}

// Keys of one length, so that every entry counts the same.
std::string Key(int i) {
    const std::string number = std::to_string(i);
    return "/barcode.png Data=" + std::string(4 - number.size(), '0') + number;
}

// Answers and kept answers together within the budget, as long as anything is kept.
void ExpectWithin(const AnswerMemory& memory, const AnswerCache& cache) {
    EXPECT_EQ(cache.bytes(), memory.kept());
    if (cache.bytes() > 0) {
        EXPECT_LE(memory.used() + memory.kept(), memory.limit());
    }
}

// Found as kept, in the place of what was there; worth keeping once its key is looked for
// again, so that a flood of different requests (which overwrites what was looked for) keeps
// nothing.
TEST(AnswerCache, FindsWhatItKeptAndWhatIsWorthKeeping) {
    AnswerMemory memory(1 << 20);
    AnswerCache cache(1 << 20, memory);
    EXPECT_FALSE(cache.Find("a").worth_keeping);
    EXPECT_FALSE(cache.Find("b").worth_keeping);
    EXPECT_TRUE(cache.Find("a").worth_keeping);
    for (int i = 0; i < 10000; ++i) cache.Find(Key(i));
    EXPECT_FALSE(cache.Find("b").worth_keeping);
    const auto first = Kept(), second = Kept(10);
    cache.Keep("a", first);
    EXPECT_EQ(cache.Find("a").answer, first);
    const std::size_t one = cache.bytes();
    cache.Keep("a", second);
    EXPECT_EQ(cache.Find("a").answer, second);
    EXPECT_LT(cache.bytes(), one);  // the first is gone with its bytes
    EXPECT_EQ(cache.hits(), 2u);
    EXPECT_EQ(cache.misses(), 10004u);
    ExpectWithin(memory, cache);
}

TEST(AnswerCache, DropsTheAnswersFoundLeastRecentlyToStayWithinItsLimit) {
    AnswerMemory memory(1 << 20);
    AnswerCache cache(32 * kBody, memory);
    for (int i = 0; i < 10; ++i) cache.Keep(Key(i), Kept());
    ASSERT_NE(cache.Find(Key(0)).answer, nullptr);  // 0 found again: 1 is now the least recent
    // More, until one had to go to make room.
    int next = 10;
    for (std::size_t before = 0; cache.bytes() > before && next < 1000; ++next) {
        before = cache.bytes();
        cache.Keep(Key(next), Kept());
    }
    EXPECT_LE(cache.bytes(), 32 * kBody);
    EXPECT_EQ(cache.Find(Key(1)).answer, nullptr);
    for (const int kept : {0, 2, next - 1})
        EXPECT_NE(cache.Find(Key(kept)).answer, nullptr) << kept;
    ExpectWithin(memory, cache);
    // An answer larger than a sixteenth of the limit is not kept at all.
    cache.Keep("large", Kept(2 * kBody + 1));
    EXPECT_EQ(cache.Find("large").answer, nullptr);
}

TEST(AnswerCache, KeepsOnlyWhatTheAnswersLeaveFreeAndGivesWayToThem) {
    constexpr std::size_t kBudget = 64 * kBody;
    AnswerMemory memory(kBudget);
    AnswerCache cache(1 << 20, memory);
    memory.Take(40 * kBody);  // answers being sent
    for (int i = 0; i < 64; ++i) cache.Keep(Key(i), Kept());
    EXPECT_GT(cache.bytes(), 0u);
    ExpectWithin(memory, cache);
    memory.Give(40 * kBody);
    for (int i = 64; i < 128; ++i) cache.Keep(Key(i), Kept());
    EXPECT_GT(cache.bytes(), kBudget / 2);
    ExpectWithin(memory, cache);

    // The answers take the budget as if nothing were kept, and what is kept shrinks, the
    // answers found least recently first.
    ASSERT_NE(cache.Find(Key(100)).answer, nullptr);  // found again: 101 is older than the rest
    EXPECT_TRUE(memory.TryTake(kBudget / 2));
    ExpectWithin(memory, cache);
    EXPECT_LE(cache.bytes(), kBudget / 2);
    EXPECT_NE(cache.Find(Key(100)).answer, nullptr);
    EXPECT_NE(cache.Find(Key(127)).answer, nullptr);
    EXPECT_EQ(cache.Find(Key(101)).answer, nullptr);
    EXPECT_FALSE(memory.Spent());
    memory.Take(kBudget / 2);
    EXPECT_EQ(cache.bytes(), 0u);
    EXPECT_TRUE(memory.Spent());
    // Nothing is kept while the answers hold the whole budget.
    cache.Keep("more", Kept());
    EXPECT_EQ(cache.Find("more").answer, nullptr);
    memory.Give(kBudget);
    EXPECT_EQ(memory.used(), 0u);
}

}  // namespace
