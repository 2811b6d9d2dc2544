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

TEST(AlignedAlloc, ZeroedBlocks) {
    // Small blocks come from reused heap memory, large ones straight from
    // the system: both must read as zero and go back through _aligned_free.
    for (uint64_t size : {uint64_t{24}, uint64_t{4096}, uint64_t{3} << 20}) {
        void *dirty = _aligned_malloc(size, 16);
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xAB, size);
        _aligned_free(dirty);
        auto *p = static_cast<uint8_t *>(_aligned_calloc(size, 16));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        uint64_t nonZero = 0;
        for (uint64_t i = 0; i < size; ++i) nonZero += p[i] != 0;
        EXPECT_EQ(nonZero, 0u) << size;
        _aligned_free(p);
    }
    EXPECT_EQ(_aligned_calloc(UINT64_MAX - 4, 16), nullptr);
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
