// Aligned work buffers for the file layer, the signal processing and the
// conversion library, and the owning type that frees them. Stateless; any
// thread may call them.
#pragma once

#include <cstdint>
#include <memory>

// A block of size bytes aligned to alignment (a power of two; 0 counts as
// 1), or null. The allocator's own pointer sits in the 8 bytes in front of
// the returned block, so a block must go back through _aligned_free and
// never straight to free().
void *_aligned_malloc(uint64_t size, uint64_t alignment);
void _aligned_free(void *block);  // null is accepted

// The deleter of the owning buffers below.
struct tAlignedDeleter {
    void operator()(void *block) const { _aligned_free(block); }
};

// An owning aligned buffer of T. Null when the allocation failed; the
// memory is not initialised.
template <typename T>
using tAlignedBuffer = std::unique_ptr<T[], tAlignedDeleter>;

// count elements of T aligned to alignment bytes; null when the allocation
// fails or count elements do not fit in 64 bits.
template <typename T>
tAlignedBuffer<T> alignedBuffer(uint64_t count, uint64_t alignment) {
    if (count > UINT64_MAX / sizeof(T)) return tAlignedBuffer<T>();
    return tAlignedBuffer<T>(static_cast<T *>(_aligned_malloc(count * sizeof(T), alignment)));
}
