#pragma once

#include <cstdint>

namespace quorvane {

// Every size limit of the engine in one place.

// Largest picture the decoders accept: a side above MaxPictureSide or more than MaxPicturePixels pixels is
// refused from the header, before anything large is allocated.
inline constexpr int64_t MaxPictureSide = 65535;
inline constexpr int64_t MaxPicturePixels = int64_t{1} << 28;
// No picture the decoders accept can come from a larger file.
inline constexpr int64_t MaxPictureFileBytes = MaxPicturePixels * 4 + (int64_t{1} << 20);

// Largest target the fitting produces (the encoder's own limit on a side); anything larger is a save
// failure rather than an allocation.
inline constexpr int32_t MaxTargetSide = 65500;
inline constexpr int64_t MaxTargetPixels = MaxPicturePixels;

// Largest colour profile read from a BMP file, a larger one counting as broken; a JPEG's APP2 segments
// hold at most 255 x 65519 bytes, just under it.
inline constexpr int64_t MaxProfileBytes = int64_t{16} << 20;

// A JPEG with more scans than this is refused (a progressive file can make decoding arbitrarily slow).
inline constexpr int MaxJpegScans = 100;
// libjpeg's own memory ceiling for one decode.
inline constexpr long MaxJpegMemory = 2000L * 1024 * 1024;

} // namespace quorvane
