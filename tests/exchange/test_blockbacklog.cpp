#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/blockbacklog.h"

namespace {

std::vector<std::string> Drain(BlockBacklog& b) {
    std::vector<std::string> out;
    while (auto block = b.Pop()) out.push_back(*block);
    return out;
}

TEST(BlockBacklog, KeepsOrderAndDropsTheOldestBeyondTheLimit) {
    const struct {
        size_t limit;
        std::vector<std::string> pushed;
        std::vector<std::string> kept;
    } cases[] = {
        {3, {"a", "b"}, {"a", "b"}},
        {3, {"a", "b", "c"}, {"a", "b", "c"}},
        {3, {"a", "b", "c", "d", "e"}, {"c", "d", "e"}},
        {0, {"a", "b"}, {"b"}},  // a limit of 0 still keeps the newest
    };
    for (const auto& c : cases) {
        BlockBacklog b(c.limit);
        for (const auto& s : c.pushed) b.Push(s);
        EXPECT_EQ(b.dropped(), c.pushed.size() - c.kept.size()) << c.limit;
        EXPECT_EQ(Drain(b), c.kept) << c.limit;
        EXPECT_EQ(b.accepted(), c.pushed.size());
    }
}

TEST(BlockBacklog, ClearCountsDiscardedBlocksApartFromDropped) {
    BlockBacklog b(2);
    EXPECT_EQ(b.Push(std::string(2048, 'x')), 0u);
    b.Push("yy");
    EXPECT_EQ(b.Push(std::string("\0z", 2)), 1u);
    EXPECT_EQ(b.acceptedBytes(), 2052u);
    EXPECT_EQ(b.Clear(), 2u);
    EXPECT_TRUE(b.empty());
    EXPECT_FALSE(b.Pop());
    EXPECT_EQ(b.dropped(), 1u);
    EXPECT_EQ(b.discarded(), 2u);
}

}  // namespace
