#include "platform/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

int64_t MemoryReader::ReadAt(uint64_t offset, uint8_t* to, size_t count)
{
    if (offset >= size_ || count == 0) {
        return 0;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    std::memcpy(to, data_ + offset, n);
    return static_cast<int64_t>(n);
}

} // namespace quorvane
