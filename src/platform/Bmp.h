#pragma once

#include "platform/Raster.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Largest picture the decoders accept: a side above MaxPictureSide or more than MaxPicturePixels pixels
// is refused from the header, before anything large is allocated.
inline constexpr int64_t MaxPictureSide = 65535;
inline constexpr int64_t MaxPicturePixels = int64_t{1} << 28;

// Decodes a Windows BMP file held in memory into a 24-bit raster. False for anything that is not an
// acceptable BMP (including an empty buffer), and then `out` is left as it was; never throws, never reads
// outside the buffer. Pixel data cut short is not a failure: the missing part shows pixel value 0 (the
// first palette colour, or black). The raster's memory is reused when it is already large enough.
bool DecodeBmp(const uint8_t* data, size_t size, Raster& out);

// The same decoding, row by row straight from the file's bytes (run-length encoded files are decoded
// whole first, and `wholeBytes` tells the memory that takes). nullptr for anything DecodeBmp refuses;
// `data` must outlive the source.
std::unique_ptr<RowSource> OpenBmp(const uint8_t* data, size_t size, int64_t& wholeBytes);
