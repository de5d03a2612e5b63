#include "platform/PictureMemory.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>

// Under AddressSanitizer every buffer comes from the heap, where the sanitizer watches its bounds.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVANE_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANE_HEAP_ONLY 1
#endif
#endif

namespace {

struct Kept {
    void* block;
    size_t length;
};

std::mutex mutex;
std::array<Kept, 64> kept;
size_t keptCount = 0;
size_t keptBytes = 0;
size_t inUse = 0;  // handed out and not yet released
size_t budget = 0; // what buffers in use and kept may take together
size_t room = 0;   // what kept buffers may take

#ifndef QUORVANE_HEAP_ONLY
constexpr size_t PageBytes = 4096;
constexpr size_t HugePageBytes = size_t{2} << 20;

size_t LengthOf(size_t bytes)
{
    return (bytes + PageBytes - 1) & ~(PageBytes - 1);
}

// Maps a huge page more than asked and trims the mapping to start on a huge-page boundary, so that every
// whole 2 MiB of it can be one huge page.
void* Map(size_t length)
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
#endif

// Gives kept buffers back, last kept first, until they take no more than `most`.
void GiveBackBeyond(size_t most)
{
    while (keptCount > 0 && keptBytes > most) {
        const Kept& last = kept[--keptCount];
        munmap(last.block, last.length);
        keptBytes -= last.length;
    }
}

} // namespace

void* AcquirePictureMemory(size_t bytes, bool zeroed)
{
    if (bytes == 0 || bytes > SIZE_MAX / 2) {
        return nullptr;
    }
#ifdef QUORVANE_HEAP_ONLY
    return zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
#else
    const size_t length = LengthOf(bytes);
    void* block = nullptr;
    {
        std::lock_guard lock(mutex);
        inUse += length;
        for (size_t i = 0; i < keptCount && block == nullptr; ++i) {
            if (kept[i].length == length) {
                block = kept[i].block;
                keptBytes -= length;
                kept[i] = kept[--keptCount];
            }
        }
        if (block == nullptr) {
            GiveBackBeyond(budget > inUse ? budget - inUse : 0);
        }
    }
    if (block == nullptr) {
        block = Map(length); // fresh anonymous pages are zero
        if (block == nullptr) {
            std::lock_guard lock(mutex);
            inUse -= length;
        }
    } else if (zeroed) {
        std::memset(block, 0, bytes);
    }
    return block;
#endif
}

void ReleasePictureMemory(void* block, size_t bytes)
{
    if (block == nullptr) {
        return;
    }
#ifdef QUORVANE_HEAP_ONLY
    (void)bytes;
    std::free(block);
#else
    const size_t length = LengthOf(bytes);
    std::lock_guard lock(mutex);
    inUse -= length;
    if (inUse + keptBytes + length <= budget && keptBytes + length <= room && keptCount < kept.size()) {
        kept[keptCount++] = {block, length};
        keptBytes += length;
    } else {
        munmap(block, length);
    }
#endif
}

void SetPictureMemoryBudget(int64_t bytes)
{
    std::lock_guard lock(mutex);
    budget = static_cast<size_t>(std::max<int64_t>(bytes, 0));
    room = budget;
    GiveBackBeyond(budget > inUse ? budget - inUse : 0);
}

void KeepPictureMemoryWithin(int64_t bytes)
{
    std::lock_guard lock(mutex);
    room = static_cast<size_t>(std::max<int64_t>(bytes, 0));
    GiveBackBeyond(room);
}
