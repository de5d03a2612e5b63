#pragma once

#include <cstddef>

namespace quorvane {

// The system's part of picture memory (PictureMemory.h): whole pages mapped apart from the heap, which a pool
// hands out, in whole or in part, as picture buffers. It lives in PictureMemory_posix.cpp and
// PictureMemory_win.cpp.

inline constexpr size_t MappingPageBytes = 4096;

// A fresh mapping of `length` bytes (a multiple of MappingPageBytes), zero-filled, backed by huge pages
// where the system can; nullptr when the system has no memory for it.
void* MapPictureBlock(size_t length);

void UnmapPictureBlock(void* block, size_t length);

// Grows a mapping to `newLength` keeping its pages, which thus need no clearing; the part it grows by is
// zero. The mapping may move: its new start, or nullptr (the mapping as it was) when it cannot grow.
void* GrowPictureBlock(void* block, size_t length, size_t newLength);

} // namespace quorvane
