#include "platform/PictureMemory.h"

#include "platform/PictureMapping.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <utility>

// Under AddressSanitizer every buffer comes from the heap, where the sanitizer watches its bounds.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVANE_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANE_HEAP_ONLY 1
#endif
#endif

namespace quorvane {

namespace {

constexpr size_t MostKept = 64;

thread_local PicturePool* currentPool = nullptr;

size_t LengthOf(size_t bytes)
{
    return (bytes + MappingPageBytes - 1) & ~(MappingPageBytes - 1);
}

// The pool of every buffer a pool has handed out, with the pages it covers, so that a buffer released on a
// thread of another run, or of none, still goes back whole to where it came from. A buffer whose pool is
// gone has no pool left here and goes back to the system.
struct Owner {
    PicturePool* Pool;
    PicturePool::Buffer Buffer;
};
std::mutex ownersMutex;
std::unordered_map<void*, Owner>& Owners()
{
    static auto* owners = new std::unordered_map<void*, Owner>(); // outlives every pool, even a static one
    return *owners;
}

} // namespace

PicturePool::PicturePool(int64_t budget) : budget_(static_cast<size_t>(std::max<int64_t>(budget, 0))), room_(budget_)
{
    kept_.reserve(MostKept); // keeping a buffer never allocates
}

PicturePool::~PicturePool()
{
    {
        std::lock_guard lock(ownersMutex);
        for (auto& [block, owner] : Owners()) {
            if (owner.Pool == this) {
                owner.Pool = nullptr;
            }
        }
    }
    for (const Buffer& buffer : kept_) {
        UnmapPictureBlock(buffer.Block, buffer.Length);
    }
}

int64_t PicturePool::KeptBytes() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int64_t>(keptBytes_);
}

int64_t PicturePool::InUseBytes() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int64_t>(inUse_);
}

void PicturePool::SetRoom(int64_t bytes, bool giveBackNow)
{
    std::lock_guard lock(mutex_);
    room_ = static_cast<size_t>(std::max<int64_t>(bytes, 0));
    if (giveBackNow) {
        KeepWithin(room_);
    }
}

void PicturePool::KeepWithin(size_t most)
{
    if (keptBytes_ <= most) {
        return;
    }
    std::sort(kept_.begin(), kept_.end(), [](const Buffer& a, const Buffer& b) { return a.Length > b.Length; });
    size_t kept = 0;
    auto last = kept_.begin();
    for (const Buffer& buffer : kept_) {
        if (kept + buffer.Length <= most) {
            kept += buffer.Length;
            *last++ = buffer;
        } else {
            UnmapPictureBlock(buffer.Block, buffer.Length);
        }
    }
    kept_.erase(last, kept_.end());
    keptBytes_ = kept;
}

void* PicturePool::Acquire(size_t bytes, bool zeroed)
{
    const size_t length = LengthOf(bytes);
    Buffer buffer;
    Buffer smaller; // the largest kept buffer, when none holds the request: it grows into it
    {
        std::lock_guard lock(mutex_);
        inUse_ += length;
        auto fits = kept_.end();
        for (auto it = kept_.begin(); it != kept_.end(); ++it) {
            if (it->Length >= length && (fits == kept_.end() || it->Length < fits->Length)) {
                fits = it;
            }
        }
        if (fits != kept_.end()) {
            // Only the part asked for is handed out, so what is in use is what the run's pictures asked for;
            // the rest stays kept.
            buffer = *fits;
            if (buffer.Length > length) {
                Buffer& rest = *fits;
                rest.Block = static_cast<char*>(buffer.Block) + length;
                rest.Length = buffer.Length - length;
                rest.Written = buffer.Written > length ? buffer.Written - length : 0;
                buffer.Length = length;
                buffer.Written = std::min(buffer.Written, length);
            } else {
                kept_.erase(fits);
            }
            keptBytes_ -= length;
        } else {
            auto largest = std::max_element(kept_.begin(), kept_.end(),
                                            [](const Buffer& a, const Buffer& b) { return a.Length < b.Length; });
            if (largest != kept_.end()) {
                smaller = *largest;
                kept_.erase(largest);
                keptBytes_ -= smaller.Length;
            }
            KeepWithin(std::min(room_, budget_ > inUse_ ? budget_ - inUse_ : 0));
        }
    }
    if (buffer.Block == nullptr && smaller.Block != nullptr) {
        // Its pages stay as they are; only the part it grows by is new.
        if (void* grown = GrowPictureBlock(smaller.Block, smaller.Length, length)) {
            buffer = {grown, length, smaller.Written};
        } else {
            UnmapPictureBlock(smaller.Block, smaller.Length);
        }
    }
    if (buffer.Block == nullptr) {
        buffer = {MapPictureBlock(length), length, 0};
    }
    if (buffer.Block != nullptr) {
        // Only what was handed out before can hold anything but zeros.
        if (zeroed) {
            std::memset(buffer.Block, 0, std::min(bytes, buffer.Written));
        }
        buffer.Written = std::max(buffer.Written, bytes);
        try {
            std::lock_guard lock(ownersMutex);
            Owners().emplace(buffer.Block, Owner{this, buffer});
            return buffer.Block;
        } catch (const std::bad_alloc&) {
            UnmapPictureBlock(buffer.Block, buffer.Length);
        }
    }
    std::lock_guard lock(mutex_);
    inUse_ -= length;
    return nullptr;
}

bool PicturePool::Keep(const Buffer& buffer)
{
    std::lock_guard lock(mutex_);
    inUse_ -= buffer.Length;
    // The picture releasing it still counts it until it gives back its memory, which sets the room anew.
    if (inUse_ + keptBytes_ + buffer.Length > budget_) {
        return false;
    }
    // A buffer that was handed out from a longer one joins the rest again.
    char* const begin = static_cast<char*>(buffer.Block);
    for (Buffer& rest : kept_) {
        if (rest.Block == begin + buffer.Length) {
            rest = {buffer.Block, buffer.Length + rest.Length,
                    rest.Written > 0 ? buffer.Length + rest.Written : buffer.Written};
            keptBytes_ += buffer.Length;
            return true;
        }
        if (static_cast<char*>(rest.Block) + rest.Length == begin) {
            rest.Written = buffer.Written > 0 ? rest.Length + buffer.Written : rest.Written;
            rest.Length += buffer.Length;
            keptBytes_ += buffer.Length;
            return true;
        }
    }
    if (kept_.size() >= MostKept) {
        return false;
    }
    kept_.push_back(buffer);
    keptBytes_ += buffer.Length;
    return true;
}

PicturePoolScope::PicturePoolScope(PicturePool* pool) : previous_(std::exchange(currentPool, pool)) {}

PicturePoolScope::~PicturePoolScope()
{
    currentPool = previous_;
}

PicturePool* CurrentPicturePool()
{
    return currentPool;
}

#ifdef QUORVANE_HEAP_ONLY

bool PicturePoolsKeepBuffers()
{
    return false;
}

void* AcquirePictureMemory(size_t bytes, bool zeroed)
{
    return zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
}

void ReleasePictureMemory(void* block, size_t)
{
    std::free(block);
}

#else

bool PicturePoolsKeepBuffers()
{
    return true;
}

void* AcquirePictureMemory(size_t bytes, bool zeroed)
{
    if (bytes == 0 || bytes > SIZE_MAX / 2) {
        return nullptr;
    }
    if (currentPool != nullptr) {
        return currentPool->Acquire(bytes, zeroed);
    }
    return MapPictureBlock(LengthOf(bytes)); // fresh pages are zero
}

void ReleasePictureMemory(void* block, size_t bytes)
{
    if (block == nullptr) {
        return;
    }
    PicturePool::Buffer buffer{block, LengthOf(bytes), 0};
    {
        std::lock_guard lock(ownersMutex);
        if (auto it = Owners().find(block); it != Owners().end()) {
            const Owner owner = it->second;
            Owners().erase(it);
            buffer = owner.Buffer;
            // Still under the owners' lock: the pool cannot go meanwhile.
            if (owner.Pool != nullptr && owner.Pool->Keep(buffer)) {
                return;
            }
        }
    }
    UnmapPictureBlock(buffer.Block, buffer.Length);
}

#endif

} // namespace quorvane
