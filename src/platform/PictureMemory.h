#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace quorvane {

// Memory for the large buffers of pictures (libjpeg's coefficient arrays, rasters). Buffers are mapped pages
// apart from the heap, backed by huge pages where the system can, so that they go back whole when released
// instead of leaving holes in the heap that the next, differently sized picture may not fit. A run's pool
// keeps released buffers, as far as its budget leaves room for them, for the next pictures, which take part
// of one or grow one: memory the process has already touched costs a fraction of fresh pages, which the
// system must clear first.

// The picture memory of one run: its budget, the room the budget leaves beside what the run's pictures
// hold, and the released buffers kept for reuse. Every thread that works for the run installs the pool
// (PicturePoolScope) while it does; two runs in one process have pools of their own.
class PicturePool {
  public:
    // Buffers in use and kept never take more than `budget` together (a buffer for a picture that runs
    // alone beyond the budget is given back as soon as it is released). A budget of 0 keeps nothing.
    explicit PicturePool(int64_t budget);
    // Gives the kept buffers back. Buffers still in use go back to the system when they are released.
    ~PicturePool();
    PicturePool(const PicturePool&) = delete;
    PicturePool& operator=(const PicturePool&) = delete;

    int64_t Budget() const { return static_cast<int64_t>(budget_); }

    // The room the budget leaves beside what the run's pictures hold, which is all that kept buffers may
    // take. Kept buffers beyond it are given back at once when `giveBackNow`, otherwise when a picture
    // needs memory no kept buffer gives: a picture just granted its memory may still take them over.
    void SetRoom(int64_t bytes, bool giveBackNow);

    // What the kept buffers take, and what the buffers handed out and not yet released take.
    int64_t KeptBytes() const;
    int64_t InUseBytes() const;

    // Mapped pages: their start, their length, and how much of them was ever handed out (the rest is still
    // as the system gave it, zero).
    struct Buffer {
        void* Block = nullptr;
        size_t Length = 0;
        size_t Written = 0;
    };

  private:
    friend void* AcquirePictureMemory(size_t bytes, bool zeroed);
    friend void ReleasePictureMemory(void* block, size_t bytes);

    // The front of the smallest kept buffer that holds the request (its rest stays kept), else the largest
    // kept buffer grown to it, else a new one.
    void* Acquire(size_t bytes, bool zeroed);
    // Keeps a released buffer of this pool, joined to a kept one it adjoins, when the budget leaves room for
    // it; false when the caller is to give it back.
    bool Keep(const Buffer& buffer);
    // Keeps the largest buffers that fit within `most` together and gives the others back.
    void KeepWithin(size_t most);

    mutable std::mutex mutex_;
    std::vector<Buffer> kept_;
    size_t keptBytes_ = 0;
    size_t inUse_ = 0; // handed out and not yet released
    size_t budget_;
    size_t room_;
};

// Installs a pool as the one of the current thread for the scope's life (nullptr: none). Scopes nest; the
// pool must outlive every scope that installs it.
class PicturePoolScope {
  public:
    explicit PicturePoolScope(PicturePool* pool);
    ~PicturePoolScope();
    PicturePoolScope(const PicturePoolScope&) = delete;
    PicturePoolScope& operator=(const PicturePoolScope&) = delete;

  private:
    PicturePool* previous_;
};

// The pool installed on the current thread; nullptr when none is.
PicturePool* CurrentPicturePool();

// Whether pools keep released buffers at all: not in builds checked by AddressSanitizer, where every
// buffer comes from the heap and goes back to it.
bool PicturePoolsKeepBuffers();

// `bytes` of memory, zero-filled when `zeroed`; nullptr when the system has none. It comes from the current
// thread's pool; with none installed, it is mapped for this request alone.
void* AcquirePictureMemory(size_t bytes, bool zeroed);
// Gives a buffer back to the pool it came from, whichever thread releases it (or to the system, when its
// pool is gone or it came from none).
void ReleasePictureMemory(void* block, size_t bytes);

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

} // namespace quorvane
