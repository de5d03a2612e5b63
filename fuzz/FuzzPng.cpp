// Png bytes in, through the whole loading path.

#include "picture/Png.h"

#include <cstddef>
#include <cstdint>

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryReader reader(data, size);
    LoadError error;
    (void)OpenPng(reader, error);
    return 0;
}
