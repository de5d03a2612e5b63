#pragma once

#include "conversion/Picture.h"
#include "picture/Bmp.h"
#include "picture/Jpeg.h"
#include "picture/PictureSource.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

// The whole-picture decode the tests and fuzz targets compare against: every row of the decoder, then
// its end check. On failure `out` is left as it was and `error` (when given) says why.
bool DrainSource(PictureSource& source, Raster& out, LoadError* error = nullptr);

bool DecodeBmp(const uint8_t* data, size_t size, Raster& out, LoadError* error = nullptr);

struct JpegHeaderInfo {
    int32_t Width = 0; // the upright size
    int32_t Height = 0;
    bool MultiScan = false;
    int Orientation = 1;
};
bool DecodeJpeg(const uint8_t* data, size_t size, Raster& out, JpegHeaderInfo& info, LoadError* error = nullptr);

// The preparation of a picture through the whole-picture decode: the reference the streaming
// preparation must match byte for byte, outcome for outcome.
PreparedPicture PrepareFromWhole(const std::string& path, PictureFormat format, const PictureSettings& settings);

} // namespace quorvane
