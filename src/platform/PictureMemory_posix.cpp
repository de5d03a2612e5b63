#include "platform/PictureMapping.h"

#include <cstdint>
#include <sys/mman.h>

namespace quorvane {

namespace {

constexpr size_t HugePageBytes = size_t{2} << 20;

} // namespace

// Maps a huge page more than asked and trims the mapping to start on a huge-page boundary, so that every
// whole 2 MiB of it can be one huge page.
void* MapPictureBlock(size_t length)
{
    void* raw = mmap(nullptr, length + HugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t begin = (start + HugePageBytes - 1) & ~(HugePageBytes - 1);
    if (begin > start) {
        munmap(raw, begin - start);
    }
    munmap(reinterpret_cast<void*>(begin + length), start + HugePageBytes - begin);
    void* block = reinterpret_cast<void*>(begin);
#ifdef MADV_HUGEPAGE
    madvise(block, length, MADV_HUGEPAGE); // only a hint: failure changes nothing
#endif
    return block;
}

void UnmapPictureBlock(void* block, size_t length)
{
    munmap(block, length);
}

void* GrowPictureBlock(void* block, size_t length, size_t newLength)
{
#ifdef MREMAP_MAYMOVE
    // In place when the addresses after it are free.
    void* grown = mremap(block, length, newLength, 0);
    if (grown != MAP_FAILED) {
        return grown;
    }
    // Otherwise its pages move to a fresh mapping on a huge-page boundary, where they stay whole huge pages.
    void* target = MapPictureBlock(newLength);
    if (target == nullptr) {
        return nullptr;
    }
    grown = mremap(block, length, newLength, MREMAP_MAYMOVE | MREMAP_FIXED, target);
    if (grown == MAP_FAILED) {
        UnmapPictureBlock(target, newLength);
        return nullptr;
    }
    return grown;
#else
    static_cast<void>(block);
    static_cast<void>(length);
    static_cast<void>(newLength);
    return nullptr;
#endif
}

} // namespace quorvane
