#pragma once

#include <cstdint>

// The machine's physical memory in bytes; 0 when it cannot be told.
int64_t PhysicalMemoryBytes();
