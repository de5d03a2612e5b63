#include "platform/PictureMapping.h"

#include <windows.h>

#include <cstring>

namespace quorvane {

// Whole pages from VirtualAlloc, zero when fresh. Large pages would need a privilege that users lack.
void* MapPictureBlock(size_t length)
{
    return VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

// A pool hands out parts of an allocation and joins adjoining ones, so the range may be part of one
// allocation or span several: its pages are decommitted allocation by allocation, and an allocation none
// of whose pages is committed any more is released.
void UnmapPictureBlock(void* block, size_t length)
{
    char* at = static_cast<char*>(block);
    char* const end = at + length;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(at, &region, sizeof region) == 0) {
            return;
        }
        char* const regionEnd = static_cast<char*>(region.BaseAddress) + region.RegionSize;
        char* const stop = regionEnd < end ? regionEnd : end;
        VirtualFree(at, static_cast<SIZE_T>(stop - at), MEM_DECOMMIT);
        bool committed = false;
        char* const base = static_cast<char*>(region.AllocationBase);
        for (char* part = base;;) {
            MEMORY_BASIC_INFORMATION info{};
            if (VirtualQuery(part, &info, sizeof info) == 0 || info.AllocationBase != base) {
                break;
            }
            committed = committed || info.State == MEM_COMMIT;
            part = static_cast<char*>(info.BaseAddress) + info.RegionSize;
        }
        if (!committed) {
            VirtualFree(base, 0, MEM_RELEASE);
        }
        at = stop;
    }
}

// Allocations do not grow in place: the pages move to a fresh one.
void* GrowPictureBlock(void* block, size_t length, size_t newLength)
{
    void* grown = MapPictureBlock(newLength);
    if (grown == nullptr) {
        return nullptr;
    }
    std::memcpy(grown, block, length);
    UnmapPictureBlock(block, length);
    return grown;
}

} // namespace quorvane
