#include "base/alignedalloc.h"

#include <cstdlib>
#include <cstring>

void *_aligned_malloc(uint64_t size, uint64_t alignment) {
    if (alignment == 0) alignment = 1;
    // size + alignment + 7 cannot wrap for any block the system could give.
    if (size > UINT64_MAX - alignment - 8) return nullptr;
    void *raw = std::malloc(static_cast<size_t>(size + alignment + 7));
    if (!raw) return nullptr;
    uintptr_t p = reinterpret_cast<uintptr_t>(raw) + 8;
    p = (p + (alignment - 1)) & ~static_cast<uintptr_t>(alignment - 1);
    void *block = reinterpret_cast<void *>(p);
    std::memcpy(reinterpret_cast<char *>(block) - 8, &raw, sizeof raw);
    return block;
}

void _aligned_free(void *block) {
    if (!block) return;
    void *raw;
    std::memcpy(&raw, reinterpret_cast<char *>(block) - 8, sizeof raw);
    std::free(raw);
}
