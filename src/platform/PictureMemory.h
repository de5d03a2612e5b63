#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

// Memory for the large buffers of pictures (libjpeg's coefficient arrays, rasters). Each buffer is a mapping
// of its own, backed by huge pages where the kernel can, so that it goes back whole when released instead
// of leaving a hole in the heap that the next, differently sized picture may not fit. Released buffers are
// kept, as far as the run leaves room for them, for the next picture, which in most folders has the same
// size: memory the process has already touched costs a fraction of fresh pages from the system.

// `bytes` of memory, zero-filled when `zeroed`; nullptr when the system has none.
void* AcquirePictureMemory(size_t bytes, bool zeroed);
void ReleasePictureMemory(void* block, size_t bytes);

// The run's memory budget: buffers in use and kept never take more together (a buffer for a picture that
// runs alone beyond the budget is given back as soon as it is released). 0, the setting outside runs,
// keeps nothing.
void SetPictureMemoryBudget(int64_t bytes);

// The room the budget leaves beside what the run's pictures hold, which is all that kept buffers may take.
// Kept buffers beyond it are given back at once when `giveBackNow`, otherwise when a picture needs a buffer
// none of them fits: a picture just granted its memory may still take them over.
void SetPictureMemoryRoom(int64_t bytes, bool giveBackNow);

// Allocates blocks of a megabyte and more through AcquirePictureMemory, smaller ones from the heap.
template <class T> struct PictureAllocator {
    using value_type = T;
    static constexpr size_t MappedFrom = size_t{1} << 20;

    PictureAllocator() = default;
    template <class U> PictureAllocator(const PictureAllocator<U>&) noexcept {}

    T* allocate(size_t count)
    {
        if (count > SIZE_MAX / 2 / sizeof(T)) {
            throw std::bad_alloc();
        }
        if (count * sizeof(T) < MappedFrom) {
            return static_cast<T*>(::operator new(count * sizeof(T)));
        }
        void* block = AcquirePictureMemory(count * sizeof(T), false);
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(block);
    }

    void deallocate(T* block, size_t count) noexcept
    {
        if (count * sizeof(T) < MappedFrom) {
            ::operator delete(block);
        } else {
            ReleasePictureMemory(block, count * sizeof(T));
        }
    }

    template <class U> bool operator==(const PictureAllocator<U>&) const noexcept { return true; }
};

// The pixels of a raster.
using PictureBytes = std::vector<uint8_t, PictureAllocator<uint8_t>>;
