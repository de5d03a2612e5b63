#include "platform/PictureMemory.h"

#include "platform/PictureMapping.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>

// Under AddressSanitizer every buffer comes from the heap, where the sanitizer watches its bounds.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVANE_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANE_HEAP_ONLY 1
#endif
#endif

#ifdef QUORVANE_HEAP_ONLY

void* AcquirePictureMemory(size_t bytes, bool zeroed)
{
    return zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
}

void ReleasePictureMemory(void* block, size_t)
{
    std::free(block);
}

void SetPictureMemoryBudget(int64_t) {}
void SetPictureMemoryRoom(int64_t, bool) {}

#else

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
size_t room = 0;   // what the budget leaves beside what the run's pictures hold
// The lengths of the latest requests. Only a buffer of a length asked for more than once among them is
// kept: in a folder of photographs from one camera every picture asks for the same lengths, in a mixed
// folder hardly ever, and keeping would only hold memory.
std::array<size_t, 32> asked{};
size_t askedNext = 0;

size_t LengthOf(size_t bytes)
{
    return (bytes + MappingPageBytes - 1) & ~(MappingPageBytes - 1);
}

// Gives kept buffers back, last kept first, until they take no more than `most`.
void GiveBackBeyond(size_t most)
{
    while (keptCount > 0 && keptBytes > most) {
        const Kept& last = kept[--keptCount];
        UnmapPictureBlock(last.block, last.length);
        keptBytes -= last.length;
    }
}

// Takes a kept buffer of exactly `length`; nullptr when there is none.
void* TakeKept(size_t length)
{
    for (size_t i = 0; i < keptCount; ++i) {
        if (kept[i].length == length) {
            void* block = kept[i].block;
            keptBytes -= length;
            kept[i] = kept[--keptCount];
            return block;
        }
    }
    return nullptr;
}

} // namespace

void* AcquirePictureMemory(size_t bytes, bool zeroed)
{
    if (bytes == 0 || bytes > SIZE_MAX / 2) {
        return nullptr;
    }
    const size_t length = LengthOf(bytes);
    void* block = nullptr;
    {
        std::lock_guard lock(mutex);
        inUse += length;
        asked[askedNext++ % asked.size()] = length;
        block = TakeKept(length);
        if (block == nullptr) {
            GiveBackBeyond(std::min(room, budget > inUse ? budget - inUse : 0));
        }
    }
    if (block == nullptr) {
        block = MapPictureBlock(length); // fresh anonymous pages are zero
        if (block == nullptr) {
            std::lock_guard lock(mutex);
            inUse -= length;
        }
    } else if (zeroed) {
        std::memset(block, 0, bytes);
    }
    return block;
}

void ReleasePictureMemory(void* block, size_t bytes)
{
    if (block == nullptr) {
        return;
    }
    const size_t length = LengthOf(bytes);
    std::lock_guard lock(mutex);
    inUse -= length;
    // The picture releasing it still counts it until it gives back its memory, which sets the room anew.
    const bool askedAgain = std::count(asked.begin(), asked.end(), length) > 1;
    if (askedAgain && inUse + keptBytes + length <= budget && keptCount < kept.size()) {
        kept[keptCount++] = {block, length};
        keptBytes += length;
    } else {
        UnmapPictureBlock(block, length);
    }
}

void SetPictureMemoryBudget(int64_t bytes)
{
    std::lock_guard lock(mutex);
    budget = static_cast<size_t>(std::max<int64_t>(bytes, 0));
    room = budget;
    GiveBackBeyond(budget > inUse ? budget - inUse : 0);
}

void SetPictureMemoryRoom(int64_t bytes, bool giveBackNow)
{
    std::lock_guard lock(mutex);
    room = static_cast<size_t>(std::max<int64_t>(bytes, 0));
    if (giveBackNow) {
        GiveBackBeyond(room);
    }
}

#endif
