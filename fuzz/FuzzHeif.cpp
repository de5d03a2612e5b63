// Heif bytes in, through the whole loading path.

#include "picture/Heif.h"

#include <cstddef>
#include <cstdint>

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryReader reader(data, size);
    LoadError error;
    (void)OpenHeif(reader, error);
    return 0;
}
