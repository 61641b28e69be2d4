// The bulk pools behind the list's columns and the file nodes: every piece whole and its own,
// pieces given back are handed out again, and many threads at once never share a piece.
#include "framework/runtime/BulkMemory.h"
#include "framework/ui/ListData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr bool kPlain = fw::kBulkPoolsPlain; // the sanitizer build hands every request to the allocator

TEST(BulkPool, PiecesAreAlignedWholeAndDistinctAcrossManyChunks)
{
    fw::BulkPool pool(40);
    EXPECT_EQ(pool.Size(), 48u); // rounded to the strictest alignment
    std::vector<char*> pieces;
    const size_t count = 3 * (size_t(2) << 20) / 48; // three 2 MB chunks' worth
    for (size_t i = 0; i < count; ++i) {
        auto* p = static_cast<char*>(pool.Take());
        ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
        std::memset(p, int(i & 0xff), 48);
        pieces.push_back(p);
    }
    std::vector<char*> sorted = pieces;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 1; i < sorted.size(); ++i)
        ASSERT_GE(sorted[i] - sorted[i - 1], 48) << "two pieces overlap";
    for (size_t i = 0; i < count; ++i)
        ASSERT_EQ(pieces[i][47], char(i & 0xff)) << "a piece was written over by another";
    for (char* p : pieces)
        pool.Give(p);
}

TEST(BulkPool, AGivenBackPieceIsTheNextOneTaken)
{
    if (kPlain)
        GTEST_SKIP() << "the sanitizer build uses the ordinary allocator";
    fw::BulkPool pool(64 * 1024);
    void* a = pool.Take();
    void* b = pool.Take();
    pool.Give(a);
    EXPECT_EQ(pool.Take(), a);
    pool.Give(b);
    pool.Give(nullptr); // ignored
    EXPECT_EQ(pool.Take(), b);
}

TEST(BulkPool, APieceLargerThanAChunkIsRefused)
{
    if (kPlain)
        GTEST_SKIP() << "the sanitizer build uses the ordinary allocator";
    fw::BulkPool pool((size_t(2) << 20) + 1);
    EXPECT_THROW(pool.Take(), std::bad_alloc);
}

TEST(BulkPool, ThreadsTakingAndGivingAtOnceNeverShareAPiece)
{
    fw::BulkPool pool(32);
    constexpr int kThreads = 8, kRounds = 200000, kHeld = 4;
    std::vector<std::thread> threads;
    std::vector<int> clashes(kThreads);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            std::vector<uint64_t*> held;
            for (int r = 0; r < kRounds; ++r) {
                auto* p = static_cast<uint64_t*>(pool.Take());
                p[0] = uint64_t(t) << 32 | uint32_t(r);
                held.push_back(p);
                if (held.size() == kHeld) {
                    for (size_t i = 0; i < held.size(); ++i)
                        if (held[i][0] >> 32 != uint64_t(t))
                            ++clashes[t]; // another thread wrote into a piece this one holds
                    for (uint64_t* q : held)
                        pool.Give(q);
                    held.clear();
                }
            }
            for (uint64_t* q : held)
                pool.Give(q);
        });
    for (std::thread& t : threads)
        t.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(clashes[t], 0) << "thread " << t;
}

// A column's blocks go back to the pool when the column goes, and the next column starts from
// them, with every cell empty again.
TEST(BulkPool, AColumnsBlocksAreReusedAndComeBackEmpty)
{
    using Texts = fw::Column<fw::String>;
    std::set<const fw::String*> first;
    {
        Texts texts;
        for (size_t i = 0; i < 2 * Texts::kBlock; ++i)
            texts.push_back(fw::String("a text long enough to live on the heap"));
        first = {&texts[0], &texts[Texts::kBlock]};
        EXPECT_EQ(texts.size(), 2 * Texts::kBlock);
        EXPECT_EQ(texts[Texts::kBlock + 5], "a text long enough to live on the heap");
    }
    Texts again(2 * Texts::kBlock);
    if (!kPlain) {
        EXPECT_TRUE(first.count(&again[0]) && first.count(&again[Texts::kBlock])) << "the blocks were not reused";
    }
    for (size_t i = 0; i < again.size(); ++i)
        ASSERT_TRUE(again[i].empty()) << "cell " << i << " kept an old text";
    again.resize(3);
    EXPECT_EQ(again.size(), 3u);
    again.push_back("x");
    EXPECT_EQ(again[3], "x");
}

} // namespace
