#pragma once

#include <cstdint>

// The machine's physical memory in bytes; 0 when it cannot be told.
int64_t PhysicalMemoryBytes();

// Sets the allocator up for large picture buffers: every thread allocates from one arena, so what one
// thread frees the next one reuses, and buffers of tens of megabytes come from the heap and stay there
// for the next picture instead of being mapped and unmapped each time (a page fault per 4 KiB on every
// use). A process-wide choice: only main() calls it.
void TuneAllocatorForPictures();

// Gives the memory the allocator keeps for reuse back to the system (at the end of a run).
void ReturnFreeMemory();

// Whether standard error is a terminal (where a percentage line may be redrawn in place).
bool StandardErrorIsTerminal();
