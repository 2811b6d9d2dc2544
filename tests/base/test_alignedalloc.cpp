#include <gtest/gtest.h>

#include <cstring>

#include "base/alignedalloc.h"

TEST(AlignedAlloc, BlocksAreAlignedAndWhole) {
    for (uint64_t align : {1u, 4u, 8u, 16u, 32u, 4096u}) {
        for (uint64_t size : {0u, 1u, 7u, 4096u}) {
            void *p = _aligned_malloc(size, align);
            ASSERT_NE(p, nullptr);
            uintptr_t a = reinterpret_cast<uintptr_t>(p);
            EXPECT_EQ(a % align, 0u) << align;
            // The allocator's own pointer sits in front of the block.
            uintptr_t raw;
            std::memcpy(&raw, reinterpret_cast<char *>(p) - 8, sizeof raw);
            EXPECT_GE(a, raw + 8);
            EXPECT_LT(a, raw + 8 + align);
            if (align == 1) {
                EXPECT_EQ(a, raw + 8);
            }
            std::memset(p, 0xAB, size);  // the whole block is usable
            _aligned_free(p);
        }
    }
    _aligned_free(nullptr);
    EXPECT_EQ(_aligned_malloc(UINT64_MAX - 4, 16), nullptr);
}

TEST(AlignedAlloc, OwningBufferIsAlignedAndRefusesOverflowingCounts) {
    tAlignedBuffer<double> b = alignedBuffer<double>(1000, 64);
    ASSERT_TRUE(b);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.get()) % 64, 0u);
    for (int i = 0; i < 1000; ++i) b[i] = i;  // every element is usable
    EXPECT_EQ(b[999], 999.0);
    // A count whose byte size does not fit in 64 bits never reaches the
    // allocator as a wrapped, small size.
    EXPECT_FALSE(alignedBuffer<double>(UINT64_MAX / 4, 16));
    EXPECT_FALSE(alignedBuffer<uint8_t>(UINT64_MAX - 4, 16));
}
