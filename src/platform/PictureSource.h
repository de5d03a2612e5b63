#pragma once

#include "platform/Raster.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Why a picture was not loaded: one named reason per check, so a check that stops working shows in the
// tests, and the command line can tell the user why a file was skipped.
enum class LoadReason {
    None,
    CannotOpen,     // the file cannot be opened
    NotRegularFile, // a folder, pipe or device named like a picture
    FileTooLarge,   // larger than any acceptable picture file
    ReadFailed,     // the system reported a read error
    OutOfMemory,
    Cancelled, // the run was interrupted
    BmpSignature,
    BmpHeaderCut,  // the file ends inside its headers
    BmpHeaderKind, // a header size no BMP version has
    BmpPlanes,
    BmpBitCount,
    BmpCompression,
    BmpBitMasks,   // the bit-field masks lie outside the file
    BmpColorTable, // more than 256 colours, or the table lies outside the file
    PictureSize,   // a side of 0, or over the decode limits
    JpegError,     // libjpeg's own message is the detail
    JpegScans,     // more scans than a picture needs
    JpegNoImage,   // the file ends before its image data
    JpegProcess,   // 12-bit, lossless or hierarchical: libjpeg's message is the detail
    JpegColorSpace,
};

struct LoadError {
    LoadReason Reason = LoadReason::None;
    std::string Detail;

    explicit operator bool() const { return Reason != LoadReason::None; }
    // One line for the user.
    std::string Text() const;
};

// Random access to the bytes of a picture file, whole or read as needed.
class ByteReader {
  public:
    virtual ~ByteReader() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to `count` bytes at `offset`; fewer only at the end of the data. -1 on a read error.
    virtual int64_t ReadAt(uint64_t offset, uint8_t* to, size_t count) = 0;
};

class MemoryReader final : public ByteReader {
  public:
    MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    int64_t ReadAt(uint64_t offset, uint8_t* to, size_t count) override;

  private:
    const uint8_t* data_;
    size_t size_;
};

// A decoder: a row source whose header has been read and checked. Nothing large is allocated until the
// first row (or Finish) is asked for, so the memory it will hold can be leased first.
class PictureSource : public RowSource {
  public:
    // Memory the decoding will hold besides the rows it hands out.
    virtual int64_t WorkingBytes() const = 0;
    // Set for JPEGs of more than one scan: their output is written progressive.
    virtual bool MultiScan() const { return false; }
    // Why Row() gave nullptr or Finish() false.
    virtual const LoadError& Error() const = 0;
};
