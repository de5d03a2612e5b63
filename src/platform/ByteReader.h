#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

// Random access to the bytes of a file, whole or read as needed.
class ByteReader {
  public:
    virtual ~ByteReader() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to `count` bytes at `offset`; fewer only at the end of the data. -1 on a read error.
    virtual int64_t ReadAt(uint64_t offset, uint8_t* to, size_t count) = 0;
};

// Bytes already in memory, read in place.
class MemoryReader final : public ByteReader {
  public:
    MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    int64_t ReadAt(uint64_t offset, uint8_t* to, size_t count) override;

  private:
    const uint8_t* data_;
    size_t size_;
};

} // namespace quorvane
