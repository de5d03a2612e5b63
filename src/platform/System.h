#pragma once

#include <cstdint>

// The machine's physical memory in bytes; 0 when it cannot be told.
int64_t PhysicalMemoryBytes();

// Makes every thread of the process allocate from one malloc arena, so large buffers one thread frees are
// reused by the next instead of each thread keeping its own. A process-wide choice: only main() calls it.
void UseOneMallocArena();

// Whether standard error is a terminal (where a percentage line may be redrawn in place).
bool StandardErrorIsTerminal();
