#pragma once

#include <cstdint>

namespace quorvane {

// What the program asks of the system as a whole: memory size, allocator tuning, the terminal, the
// display and leaving at once. The system's part lives in System_posix.cpp.

// The machine's physical memory in bytes; 0 when it cannot be told.
int64_t PhysicalMemoryBytes();

// Sets the heap up for a program whose large buffers live in mappings of their own (PictureMemory.h):
// every thread allocates from one arena, and blocks of a megabyte and more (encoded pictures growing) are
// mapped too, so that no hole of theirs keeps the heap large. A process-wide choice: only main() calls it.
void TuneAllocatorForPictures();

// Gives the memory the allocator keeps for reuse back to the system (at the end of a run).
void ReturnFreeMemory();

// Whether standard error is a terminal (where a percentage line may be redrawn in place).
bool StandardErrorIsTerminal();

// Whether a window can be shown: on systems with display servers, whether the environment names one that
// the Qt platform in use (QT_QPA_PLATFORM) connects to; platforms that need no display server count as
// available.
bool DisplayAvailable();

// Ends the process at once with `status`: no destructors, no handlers, no flushing of C++ streams.
[[noreturn]] void ExitNow(int status);

} // namespace quorvane
