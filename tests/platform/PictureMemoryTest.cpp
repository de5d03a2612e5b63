// Picture memory: a released buffer serves later requests it holds and comes back zero-filled when asked,
// and kept buffers stay within the room the run's budget leaves.

#include "platform/PictureMemory.h"

#include "platform/PictureMapping.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <utility>
#include <vector>

using namespace quorvane;

namespace {

constexpr size_t MiB = size_t{1} << 20;

size_t Pages(size_t bytes)
{
    return (bytes + MappingPageBytes - 1) / MappingPageBytes * MappingPageBytes;
}

bool AllAre(const void* block, size_t bytes, uint8_t value)
{
    const auto* begin = static_cast<const uint8_t*>(block);
    return std::all_of(begin, begin + bytes, [value](uint8_t byte) { return byte == value; });
}

// A released buffer serves the next request it holds, whatever its length, keeping the rest, and one it is
// too small for grows into it keeping what it held. A reused buffer is zero-filled when asked: libjpeg's coefficient
// arrays start from zero, and a reused one still holds the coefficients of the picture before.
TEST(PictureMemory, AReleasedBufferServesTheNextRequest)
{
    struct Case {
        size_t Released;
        size_t Asked;
        bool Zeroed;
    };
    const Case cases[] = {
        {3 * MiB, 3 * MiB, true},        // the same length again
        {8 * MiB, 3 * MiB + 100, true},  // a shorter request from a longer buffer
        {8 * MiB, 3 * MiB, false},       // ...which keeps what it held when no zeros are asked
        {3 * MiB, 8 * MiB + 100, true},  // a longer request: the buffer grows
        {3 * MiB + 100, 8 * MiB, false}, // ...keeping the bytes it held; the part it grew by is zero
    };
    for (const Case& c : cases) {
        PicturePool pool(int64_t{64} * MiB);
        PicturePoolScope scope(&pool);
        void* first = AcquirePictureMemory(c.Released, false);
        ASSERT_NE(first, nullptr);
        std::memset(first, 0xAB, c.Released);
        ReleasePictureMemory(first, c.Released);
        auto* again = static_cast<uint8_t*>(AcquirePictureMemory(c.Asked, c.Zeroed));
        ASSERT_NE(again, nullptr);
        const size_t held = std::min(c.Released, c.Asked);
        EXPECT_TRUE(AllAre(again + held, c.Asked - held, 0)) << c.Released << " then " << c.Asked;
        if (c.Zeroed) {
            EXPECT_TRUE(AllAre(again, held, 0)) << c.Released << " then " << c.Asked;
        } else if (PicturePoolsKeepBuffers()) {
            EXPECT_TRUE(AllAre(again, held, 0xAB)) << c.Released << " then " << c.Asked;
        }
        if (PicturePoolsKeepBuffers()) {
            const size_t rest = c.Asked <= c.Released ? Pages(c.Released) - Pages(c.Asked) : 0;
            EXPECT_EQ(pool.KeptBytes(), static_cast<int64_t>(rest)) << c.Released << " then " << c.Asked;
            if (c.Asked <= c.Released) {
                EXPECT_EQ(static_cast<void*>(again), first) << c.Released << " then " << c.Asked;
            }
        }
        ReleasePictureMemory(again, c.Asked);
        if (PicturePoolsKeepBuffers()) {
            EXPECT_EQ(pool.KeptBytes(), static_cast<int64_t>(Pages(std::max(c.Released, c.Asked))))
                << "the parts joined again: " << c.Released << " then " << c.Asked;
        }
    }
}

// Whatever the order of requests, releases and changes of room, the buffers in use take what was asked for
// (the run's leases cover that much), kept buffers never take more than the budget leaves beside them, nor
// more than the room once it is set to be given back at once; and every buffer asked zero-filled is.
TEST(PictureMemory, KeptBuffersStayWithinTheRoom)
{
    if (!PicturePoolsKeepBuffers()) {
        GTEST_SKIP() << "every buffer comes from the heap";
    }
    constexpr int64_t Budget = int64_t{40} * MiB;
    PicturePool pool(Budget);
    PicturePoolScope scope(&pool);
    std::mt19937 random(11);
    std::vector<std::pair<void*, size_t>> held;
    for (int step = 0; step < 300; ++step) {
        const unsigned action = random() % 4;
        if (action == 3) {
            const int64_t room = static_cast<int64_t>(random() % (Budget + 1));
            pool.SetRoom(room, true);
            EXPECT_LE(pool.KeptBytes(), room) << "step " << step;
        } else if (held.empty() || (action < 2 && held.size() < 8)) {
            const size_t bytes = MiB + random() % (12 * MiB);
            const bool zeroed = random() % 2 == 0;
            void* block = AcquirePictureMemory(bytes, zeroed);
            ASSERT_NE(block, nullptr);
            if (zeroed) {
                ASSERT_TRUE(AllAre(block, bytes, 0)) << "step " << step;
            }
            std::memset(block, 0xCD, bytes);
            held.emplace_back(block, bytes);
        } else {
            const size_t i = random() % held.size();
            ReleasePictureMemory(held[i].first, held[i].second);
            held.erase(held.begin() + static_cast<std::ptrdiff_t>(i));
        }
        size_t asked = 0;
        for (const auto& [block, bytes] : held) {
            asked += Pages(bytes);
        }
        const int64_t inUse = pool.InUseBytes();
        EXPECT_EQ(inUse, static_cast<int64_t>(asked)) << "step " << step;
        EXPECT_LE(pool.KeptBytes(), std::max<int64_t>(Budget - inUse, 0)) << "step " << step;
    }
    for (const auto& [block, bytes] : held) {
        ReleasePictureMemory(block, bytes);
    }
    EXPECT_EQ(pool.InUseBytes(), 0);
}

} // namespace
